#pragma once

// The hash of function names in the lookup indexes: FNV-1a over the code units. Function names
// are short, and this costs a fraction of the standard library's byte hash.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace VelmorandScript {

/// The FNV offset basis: the seed of a hash of the name alone.
constexpr std::uint64_t kNameHashBasis = 14695981039346656037ull;

/// FNV-1a of `name`, started from `seed` (the basis, or the basis mixed with more of the key).
inline std::size_t HashName(std::wstring_view name, std::uint64_t seed = kNameHashBasis) noexcept {
    std::uint64_t hash = seed;
    for (const wchar_t character : name) {
        hash = (hash ^ static_cast<std::uint32_t>(character)) * 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

}  // namespace VelmorandScript
