#include <Common/CfxFormat.h>

#include <Common/StringTable.h>

#include <charconv>
#include <cmath>
#include <iterator>
#include <system_error>
#include <utility>

namespace Common {

namespace {

// Shortest text that reads back to the same number; std::to_chars gives exactly that and is
// independent of the locale, unlike a stream. Magnitudes a person reads more easily without an
// exponent (1e-6 up to 1e21, as scripting languages print them) use plain notation.
template <class Number>
std::wstring ShortestText(Number number) {
    // The sign of a NaN is noise (0.0 / 0.0 yields a negative one on x86).
    if (std::isnan(number)) {
        return L"nan";
    }
    const Number magnitude = std::fabs(number);
    const bool plain = magnitude == 0 || (magnitude >= Number(1e-6) && magnitude < Number(1e21));
    char buffer[512];
    const std::to_chars_result result =
        plain
            ? std::to_chars(std::begin(buffer), std::end(buffer), number, std::chars_format::fixed)
            : std::to_chars(std::begin(buffer), std::end(buffer), number);
    if (result.ec != std::errc()) {
        return L"?";  // cannot happen: the buffer holds any float or double
    }
    return std::wstring(buffer, result.ptr);
}

bool IsPlaceholderDigit(wchar_t character) {
    return character >= L'1' && character <= L'9';
}

}  // namespace

CfxFormat::CfxFormat(unsigned int messageId)
    : m_pattern(StringLoader::Instance().GetString(messageId)), m_hasPattern(true) {}

CfxFormat::CfxFormat(const std::wstring& pattern) : m_pattern(pattern), m_hasPattern(true) {}

CfxFormat::CfxFormat() : m_hasPattern(false) {}

CfxFormat::~CfxFormat() = default;

std::wostream& CfxFormat::Stream() {
    // Created on first use: most messages never insert anything through a stream.
    if (!m_stream) {
        m_stream = std::make_unique<std::wostringstream>();
        // A stream swallows exceptions and only sets badbit; a failed allocation must reach the
        // caller as std::bad_alloc instead of leaving a truncated text behind.
        m_stream->exceptions(std::ios_base::badbit);
    }
    return *m_stream;
}

void CfxFormat::AfterInsertion() {
    if (!m_stream) {
        m_insertions.emplace_back();
        return;
    }
    m_insertions.push_back(m_stream->str());
    // Every insertion starts from standard formatting, whatever the previous one set.
    m_stream->str(std::wstring());
    m_stream->clear();
    m_stream->flags(std::ios_base::dec | std::ios_base::skipws);
    m_stream->precision(6);
    m_stream->width(0);
    m_stream->fill(L' ');
}

CfxFormat& CfxFormat::InsertText(std::wstring text) {
    m_insertions.push_back(std::move(text));
    return *this;
}

std::wstring CfxFormat::ToString() const {
    if (!m_hasPattern) {
        return m_insertions.empty() ? std::wstring() : m_insertions.front();
    }
    // One pass from left to right, so that an inserted text is never searched for placeholders.
    std::wstring result;
    result.reserve(m_pattern.size());
    for (std::size_t position = 0; position < m_pattern.size(); ++position) {
        const wchar_t character = m_pattern[position];
        if (character == L'%' && position + 1 < m_pattern.size() &&
            IsPlaceholderDigit(m_pattern[position + 1])) {
            const std::size_t index = static_cast<std::size_t>(m_pattern[position + 1] - L'1');
            if (index < m_insertions.size()) {
                result += m_insertions[index];
            } else {
                result.append(m_pattern, position, 2);  // unfilled: stays visible as "%N"
            }
            ++position;
        } else {
            result += character;
        }
    }
    return result;
}

CfxFormat& operator<<(CfxFormat& format, const std::wstring& text) {
    return format.InsertText(text);
}

CfxFormat& operator<<(CfxFormat& format, const wchar_t* text) {
    return format.InsertText(text != nullptr ? std::wstring(text) : std::wstring());
}

CfxFormat& operator<<(CfxFormat& format, float number) {
    return format.InsertText(ShortestText(number));
}

CfxFormat& operator<<(CfxFormat& format, double number) {
    return format.InsertText(ShortestText(number));
}

}  // namespace Common
