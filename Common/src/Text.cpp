#include <Common/Text.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cwctype>
#include <limits>
#include <system_error>

namespace Common {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool IsSurrogate(char32_t value) {
    return value >= 0xD800 && value <= 0xDFFF;
}

// The value of a digit character in bases up to 36, or a value no base accepts.
int DigitValue(wchar_t character) {
    if (character >= L'0' && character <= L'9') {
        return character - L'0';
    }
    if (character >= L'a' && character <= L'z') {
        return character - L'a' + 10;
    }
    if (character >= L'A' && character <= L'Z') {
        return character - L'A' + 10;
    }
    return std::numeric_limits<int>::max();
}

// The range of an integer type, as magnitudes on either side of zero.
struct IntegerRange {
    bool allowsMinus;
    std::uint64_t maxPositive;
    std::uint64_t maxNegative;
};

constexpr IntegerRange kSigned32{true, 0x7FFFFFFFu, 0x80000000u};
constexpr IntegerRange kUnsigned32{false, 0xFFFFFFFFu, 0};

// Reads an optional sign and at least one digit of the base, and nothing else, within the range.
bool ParseInteger(const std::wstring& text, int base, const IntegerRange& range, bool& negative,
                  std::uint64_t& magnitude) {
    if (base < 2 || base > 36) {
        return false;
    }
    std::size_t position = 0;
    bool minus = false;
    if (!text.empty() && (text[0] == L'+' || text[0] == L'-')) {
        minus = text[0] == L'-';
        ++position;
    }
    // Unsigned types reject any '-', "-0" included: it is no text their own values print as.
    if ((minus && !range.allowsMinus) || position == text.size()) {
        return false;
    }
    const std::uint64_t limit = minus ? range.maxNegative : range.maxPositive;
    std::uint64_t value = 0;
    for (; position < text.size(); ++position) {
        const int digit = DigitValue(text[position]);
        if (digit >= base) {
            return false;
        }
        // Limits stay below 2^33 and base is at most 36, so this cannot overflow 64 bits.
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit) {
            return false;
        }
    }
    negative = minus;
    magnitude = value;
    return true;
}

std::int64_t SignedValue(bool negative, std::uint64_t magnitude) {
    const std::int64_t value = static_cast<std::int64_t>(magnitude);
    return negative ? -value : value;
}

// from_chars on the ASCII form of the text; '+' is accepted as well as '-'.
template <class Number>
bool ParseFloatingPoint(const std::wstring& text, Number& result) {
    std::string ascii;
    ascii.reserve(text.size());
    for (const wchar_t character : text) {
        if (character < 0 || character > 0x7F) {
            return false;
        }
        ascii += static_cast<char>(character);
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') {
            return false;  // "+-1"
        }
    }
    if (first == last) {
        return false;
    }
    Number value{};
    const std::from_chars_result parsed = std::from_chars(first, last, value);
    if (parsed.ec != std::errc() || parsed.ptr != last) {
        return false;
    }
    result = value;
    return true;
}

// The Unicode scalar value of the well-formed UTF-8 sequence at `position`, and its length; 0 when
// the bytes there do not form one.
std::size_t DecodeUtf8Sequence(const std::string& text, std::size_t position, char32_t& value) {
    const auto byteAt = [&text](std::size_t index) {
        return static_cast<unsigned char>(text[index]);
    };
    const unsigned char lead = byteAt(position);
    if (lead < 0x80) {
        value = lead;
        return 1;
    }
    std::size_t length = 0;
    // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) {
            secondLow = 0xA0;
        } else if (lead == 0xED) {
            secondHigh = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) {
            secondLow = 0x90;
        } else if (lead == 0xF4) {
            secondHigh = 0x8F;
        }
    } else {
        return 0;  // a continuation byte, an overlong lead (C0, C1) or F5 to FF
    }
    if (text.size() - position < length) {
        return 0;
    }
    for (std::size_t offset = 1; offset < length; ++offset) {
        const unsigned char byte = byteAt(position + offset);
        const unsigned char low = offset == 1 ? secondLow : 0x80;
        const unsigned char high = offset == 1 ? secondHigh : 0xBF;
        if (byte < low || byte > high) {
            return 0;
        }
        value = (value << 6) | (byte & 0x3F);
    }
    return length;
}

void AppendUtf8(std::string& out, char32_t value) {
    if (value > kLastCodePoint || IsSurrogate(value)) {
        value = kReplacementCharacter;
    }
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

}  // namespace

bool ToValue(const std::wstring& text, long& result, int base) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(text, base, kSigned32, negative, magnitude)) {
        return false;
    }
    result = static_cast<long>(SignedValue(negative, magnitude));
    return true;
}

bool ToValue(const std::wstring& text, unsigned long& result, int base) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(text, base, kUnsigned32, negative, magnitude)) {
        return false;
    }
    result = static_cast<unsigned long>(magnitude);
    return true;
}

bool ToValue(const std::wstring& text, int& result, int base) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(text, base, kSigned32, negative, magnitude)) {
        return false;
    }
    result = static_cast<int>(SignedValue(negative, magnitude));
    return true;
}

bool ToValue(const std::wstring& text, unsigned int& result, int base) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ParseInteger(text, base, kUnsigned32, negative, magnitude)) {
        return false;
    }
    result = static_cast<unsigned int>(magnitude);
    return true;
}

bool ToValue(const std::wstring& text, double& result) {
    return ParseFloatingPoint(text, result);
}

bool ToValue(const std::wstring& text, float& result) {
    return ParseFloatingPoint(text, result);
}

std::wstring ToWString(const std::string& text) {
    std::wstring result;
    result.reserve(text.size());
    std::size_t position = 0;
    while (position < text.size()) {
        char32_t value = 0;
        const std::size_t length = DecodeUtf8Sequence(text, position, value);
        if (length == 0) {
            // Only the offending byte is replaced; decoding resumes at the next one.
            result += static_cast<wchar_t>(kReplacementCharacter);
            ++position;
        } else {
            result += static_cast<wchar_t>(value);
            position += length;
        }
    }
    return result;
}

std::string ToUtf8(const std::wstring& text) {
    std::string result;
    result.reserve(text.size());
    for (const wchar_t character : text) {
        // wchar_t is signed: a negative value becomes a huge one and is replaced.
        AppendUtf8(result, static_cast<char32_t>(character));
    }
    return result;
}

int CompareNoCase(const std::wstring& left, const std::wstring& right, std::size_t count) {
    const std::size_t limit = count;
    const std::size_t leftLength = std::min(left.size(), limit);
    const std::size_t rightLength = std::min(right.size(), limit);
    const std::size_t common = std::min(leftLength, rightLength);
    for (std::size_t index = 0; index < common; ++index) {
        // Ordered as unsigned code units, like the library's other text orderings.
        const auto leftFolded = static_cast<std::uint32_t>(std::towlower(left[index]));
        const auto rightFolded = static_cast<std::uint32_t>(std::towlower(right[index]));
        if (leftFolded != rightFolded) {
            return leftFolded < rightFolded ? -1 : 1;
        }
    }
    if (leftLength == rightLength) {
        return 0;
    }
    return leftLength < rightLength ? -1 : 1;
}

}  // namespace Common
