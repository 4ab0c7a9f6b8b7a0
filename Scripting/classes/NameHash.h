#pragma once

// The hash and the comparison of function names in the lookup indexes, in line and two code
// units at a time. Function names are short: both cost a fraction of the standard library's
// byte hash and of its call to wmemcmp.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace VelmorandScript {

static_assert(sizeof(wchar_t) == 4, "names are read two code units to a 64-bit word");

/// The code units `index` and `index` + 1 of `units` as one word.
inline std::uint64_t UnitPair(const wchar_t* units, std::size_t index) noexcept {
    std::uint64_t pair;
    std::memcpy(&pair, units + index, sizeof pair);
    return pair;
}

/// FNV-1a of `name`, taken two code units at a time: half the steps of one at a time.
inline std::size_t HashName(std::wstring_view name) noexcept {
    constexpr std::uint64_t prime = 1099511628211ull;
    std::uint64_t hash = 14695981039346656037ull;
    std::size_t index = 0;
    for (; index + 2 <= name.size(); index += 2) {
        hash = (hash ^ UnitPair(name.data(), index)) * prime;
    }
    if (index < name.size()) {
        hash = (hash ^ static_cast<std::uint32_t>(name[index])) * prime;
    }
    return static_cast<std::size_t>(hash);
}

/// The first slot of a hash in a table of 2^(64 - `shift`) slots: the top bits of the hash
/// times 2^64 / phi. FNV's multiplication carries each code unit only upwards, so names that
/// differ in their last units share their low bits; this product's top bits mix them all.
inline std::size_t FirstSlot(std::size_t hash, unsigned shift) noexcept {
    return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> shift);
}

/// The `shift` of FirstSlot for a table of `size` slots, a power of two from 2 up.
inline unsigned SlotShift(std::size_t size) noexcept {
    return static_cast<unsigned>(__builtin_clzll(size)) + 1;
}

/// Whether the two names have the same code units, compared two at a time.
inline bool SameName(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    std::size_t index = 0;
    for (; index + 2 <= a.size(); index += 2) {
        if (UnitPair(a.data(), index) != UnitPair(b.data(), index)) {
            return false;
        }
    }
    return index == a.size() || a[index] == b[index];
}

}  // namespace VelmorandScript
