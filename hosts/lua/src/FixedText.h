#pragma once

#include <cstddef>
#include <cstring>

namespace VelmorandScript {
namespace Lua {

/// UTF-8 text kept without allocating, for error paths that must not fail: a longer text is
/// cut, on a character boundary, with an ellipsis.
class FixedText {
public:
    static constexpr std::size_t Capacity = 2048;

    void Assign(const char* text) noexcept {
        Assign(text, text != nullptr ? std::strlen(text) : 0);
    }
    void Assign(const char* text, std::size_t length) noexcept {
        static const char ellipsis[] = "\xE2\x80\xA6";  // U+2026
        if (length <= Capacity) {
            std::memcpy(m_text, text, length);
            m_size = length;
            return;
        }
        std::size_t kept = Capacity - (sizeof ellipsis - 1);
        while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) {
            --kept;  // do not split a character
        }
        std::memcpy(m_text, text, kept);
        std::memcpy(m_text + kept, ellipsis, sizeof ellipsis - 1);
        m_size = kept + sizeof ellipsis - 1;
    }
    void Clear() noexcept { m_size = 0; }

    const char* Data() const noexcept { return m_text; }
    std::size_t Size() const noexcept { return m_size; }
    bool IsEmpty() const noexcept { return m_size == 0; }

private:
    char m_text[Capacity];
    std::size_t m_size = 0;
};

}  // namespace Lua
}  // namespace VelmorandScript
