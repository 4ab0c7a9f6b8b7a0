#pragma once

/// @file
/// Text helpers: strict parsing of numbers, UTF-8 conversion and comparison without case.

#include <Common/Export.h>

#include <string>

namespace Common {

/// Strict text-to-number parsing: the whole text must be one number in the range of the type
/// (no surrounding spaces; an optional sign; for the integer types digits of the given base).
/// Returns false and leaves `result` unchanged otherwise. `long` and `unsigned long` accept only
/// the 32-bit range, the width the script conversions give these types.
COMMON_API bool ToValue(const std::wstring& text, long& result, int base);
/// As the `long` overload, for the 32-bit unsigned range.
COMMON_API bool ToValue(const std::wstring& text, unsigned long& result, int base);
/// As the `long` overload, for the range of int.
COMMON_API bool ToValue(const std::wstring& text, int& result, int base);
/// As the `long` overload, for the range of unsigned int.
COMMON_API bool ToValue(const std::wstring& text, unsigned int& result, int base);
/// Decimal or exponent notation, "inf" and "nan"; out-of-range magnitudes are rejected.
COMMON_API bool ToValue(const std::wstring& text, double& result);
/// As the `double` overload, for the range of float.
COMMON_API bool ToValue(const std::wstring& text, float& result);

/// UTF-8 to wide text; each invalid byte becomes U+FFFD.
COMMON_API std::wstring ToWString(const std::string& text);
/// Wide text to UTF-8; a value that is no Unicode scalar value becomes U+FFFD.
COMMON_API std::string ToUtf8(const std::wstring& text);

/// Compares at most `count` characters (std::wstring::npos: the whole strings) without regard
/// to case. Returns a negative number, 0 or a positive number.
COMMON_API int CompareNoCase(const std::wstring& left, const std::wstring& right,
                             std::size_t count);

}  // namespace Common
