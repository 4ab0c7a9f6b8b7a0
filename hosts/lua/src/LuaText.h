#pragma once

// Lua strings as wide text, both ways without loss. Lua strings are bytes, usually UTF-8: each
// valid UTF-8 sequence becomes its character, and each byte that is not part of one becomes the
// code unit U+DC00 + byte (U+DC80..U+DCFF, a lone surrogate, which valid UTF-8 never yields).
// Going back, those code units become their byte again, so a string such as "\xff" comes back
// byte for byte. Other code units that are no characters (other surrogates, beyond U+10FFFF)
// go to Lua as U+FFFD, as the common encoder writes them.

#include <cstddef>
#include <string>

namespace VelmorandScript {
namespace Lua {

std::wstring DecodeLuaText(const char* text, std::size_t length);
std::string EncodeLuaText(const std::wstring& text);

}  // namespace Lua
}  // namespace VelmorandScript
