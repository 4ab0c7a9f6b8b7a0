#pragma once

// The native conversions between the standard number types, with results fixed independently
// of the compiler: the integer types convert as 32-bit types (long and unsigned long included,
// though 64 bits wide here), characters as 8-bit types, and floating-point values are checked
// for NaN and range before any cast, so no conversion is undefined.

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace VelmorandScript {
namespace Detail {

template <class T>
constexpr bool IsSigned32 = std::is_same<T, long>::value || std::is_same<T, int>::value;
template <class T>
constexpr bool IsUnsigned32 =
    std::is_same<T, unsigned long>::value || std::is_same<T, unsigned int>::value;
template <class T>
constexpr bool IsInteger32 = IsSigned32<T> || IsUnsigned32<T>;
template <class T>
constexpr bool IsFloating = std::is_same<T, double>::value || std::is_same<T, float>::value;

/// A 32-bit integer type read as its low 32 bits: long and unsigned long carry only the value of
/// their 32-bit counterparts (sign- or zero-extended).
template <class T>
T Normalize32(T value) {
    static_assert(IsInteger32<T>, "only the 32-bit integer types are normalized");
    if constexpr (IsSigned32<T>) {
        return static_cast<T>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    } else {
        return static_cast<T>(static_cast<std::uint32_t>(value));
    }
}

/// Any integer-like value as the 64-bit number it stands for: signed types sign-extended,
/// unsigned types zero-extended, bool as 0 or 1.
template <class From>
std::int64_t Widen(From value) {
    if constexpr (std::is_same<From, bool>::value) {
        return value ? 1 : 0;
    } else if constexpr (std::is_same<From, char>::value) {
        return static_cast<signed char>(value);
    } else if constexpr (std::is_same<From, unsigned char>::value) {
        return value;
    } else if constexpr (IsSigned32<From>) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    } else {
        static_assert(IsUnsigned32<From>, "not an integer-like standard type");
        return static_cast<std::uint32_t>(value);
    }
}

/// A widened integer as the target type: the low 32 or 8 bits, zero or not for bool, the nearest
/// floating-point value (ties to even) otherwise.
template <class To>
To FromWidened(std::int64_t value) {
    if constexpr (std::is_same<To, bool>::value) {
        return value != 0;
    } else if constexpr (std::is_same<To, char>::value) {
        return static_cast<char>(static_cast<signed char>(static_cast<std::uint8_t>(value)));
    } else if constexpr (std::is_same<To, unsigned char>::value) {
        return static_cast<unsigned char>(static_cast<std::uint8_t>(value));
    } else if constexpr (IsInteger32<To>) {
        return Normalize32(static_cast<To>(value));
    } else {
        static_assert(IsFloating<To>, "not a standard number type");
        return static_cast<To>(value);
    }
}

/// Truncation toward zero; out of range, NaN and infinities give -2147483648 for the signed types
/// and 0 for the unsigned ones. The unsigned types take the low 32 bits of the 64-bit truncation,
/// so negative values wrap around (-1.0 gives 4294967295).
template <class To>
To FromFloating(double value) {
    if constexpr (IsSigned32<To>) {
        if (!(value > -2147483649.0 && value < 2147483648.0)) {
            return static_cast<To>(std::numeric_limits<std::int32_t>::min());
        }
        return static_cast<To>(static_cast<std::int32_t>(value));
    } else {
        static_assert(IsUnsigned32<To>, "floating-point values convert to 32-bit integers only");
        if (!(std::fabs(value) < 9223372036854775808.0)) {
            return 0;
        }
        return static_cast<To>(static_cast<std::uint32_t>(static_cast<std::int64_t>(value)));
    }
}

/// The nearest float; magnitudes that round beyond the largest float become infinite.
inline float ToFloat(double value) {
    constexpr float largest = std::numeric_limits<float>::max();
    // Halfway between the largest float and 2^128: from here on rounding gives infinity.
    constexpr double overflowThreshold = 340282356779733661637539395458142568448.0;
    if (std::isnan(value)) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    const double magnitude = std::fabs(value);
    if (magnitude > largest) {
        const float bound =
            magnitude >= overflowThreshold ? std::numeric_limits<float>::infinity() : largest;
        return value < 0 ? -bound : bound;
    }
    return static_cast<float>(value);
}

/// The native conversion of a standard number to another one.
template <class To, class From>
To ConvertNumber(From value) {
    if constexpr (IsFloating<From>) {
        if constexpr (std::is_same<To, double>::value) {
            return static_cast<double>(value);
        } else if constexpr (std::is_same<To, float>::value) {
            return ToFloat(static_cast<double>(value));
        } else {
            return FromFloating<To>(static_cast<double>(value));
        }
    } else {
        return FromWidened<To>(Widen(value));
    }
}

}  // namespace Detail
}  // namespace VelmorandScript
