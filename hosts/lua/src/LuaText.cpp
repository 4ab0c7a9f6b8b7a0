#include "LuaText.h"

#include <Common/Text.h>

namespace VelmorandScript {
namespace Lua {

namespace {

constexpr wchar_t EscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `text` (at most `available` bytes) and its
// character; 0 when the bytes there are no valid sequence.
std::size_t DecodeSequence(const unsigned char* text, std::size_t available, char32_t& character) {
    const unsigned char lead = text[0];
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        character = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, character = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, character = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, character = lead & 0x07;
    } else {
        return 0;
    }
    if (length > available) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
        character = (character << 6) | (text[i] & 0x3F);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < minimum || character > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::wstring DecodeLuaText(const char* text, std::size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::wstring decoded;
    decoded.reserve(length);
    for (std::size_t i = 0; i < length;) {
        char32_t character = 0;
        const std::size_t used = DecodeSequence(bytes + i, length - i, character);
        if (used == 0) {
            decoded += static_cast<wchar_t>(EscapeBase + bytes[i]);
            ++i;
        } else {
            decoded += static_cast<wchar_t>(character);
            i += used;
        }
    }
    return decoded;
}

std::string EncodeLuaText(const std::wstring& text) {
    // Runs of characters go through the common encoder, the escaped bytes in between as they are.
    std::string encoded;
    encoded.reserve(text.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<char32_t>(text[i]);
        if (unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xFF) {
            encoded += Common::ToUtf8(text.substr(run, i - run));
            encoded += static_cast<char>(unit - EscapeBase);
            run = i + 1;
        }
    }
    return encoded + Common::ToUtf8(text.substr(run));
}

}  // namespace Lua
}  // namespace VelmorandScript
