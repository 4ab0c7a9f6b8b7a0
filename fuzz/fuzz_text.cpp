// Fuzzes the text functions of the Common library: UTF-8 decoding and encoding and the strict
// number parsers, on arbitrary bytes. Checks their documented guarantees, not just survival.

#include <Common/Text.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_text: broken guarantee: %s\n", what);
        std::abort();
    }
}

bool IsScalarValue(wchar_t character) {
    const auto value = static_cast<std::uint32_t>(character);
    return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

void CheckUtf8RoundTrip(const std::string& bytes) {
    const std::wstring wide = Common::ToWString(bytes);
    for (const wchar_t character : wide) {
        Require(IsScalarValue(character), "ToWString yields Unicode scalar values only");
    }
    const std::string utf8 = Common::ToUtf8(wide);
    Require(Common::ToWString(utf8) == wide, "ToWString(ToUtf8(w)) == w for decoded text");
}

void CheckWideToUtf8(const std::wstring& wide) {
    const std::string utf8 = Common::ToUtf8(wide);
    const std::wstring decoded = Common::ToWString(utf8);
    Require(decoded.size() == wide.size(), "ToUtf8 keeps one character per wide character");
    for (std::size_t i = 0; i < wide.size(); ++i) {
        Require(decoded[i] == (IsScalarValue(wide[i]) ? wide[i] : wchar_t(0xFFFD)),
                "ToUtf8 replaces exactly the non-scalar values by U+FFFD");
    }
}

template <class Integer>
void CheckInteger(const std::wstring& text, int base, long long low, long long high) {
    const Integer sentinel = static_cast<Integer>(0x5A5A);
    Integer result = sentinel;
    if (!Common::ToValue(text, result, base)) {
        Require(result == sentinel, "a failed ToValue leaves the result unchanged");
        return;
    }
    Require(base >= 2 && base <= 36, "ToValue accepts bases 2 to 36 only");
    Require(static_cast<long long>(result) >= low && static_cast<long long>(result) <= high,
            "ToValue keeps integers in their 32-bit range");
    if (base == 10) {
        Integer again = sentinel;
        Require(Common::ToValue(std::to_wstring(result), again, 10) && again == result,
                "a parsed integer reads back from its decimal text");
    }
}

template <class Number>
void CheckFloatingPoint(const std::wstring& text) {
    const Number sentinel = static_cast<Number>(0.5);
    Number result = sentinel;
    if (!Common::ToValue(text, result)) {
        Require(result == sentinel, "a failed ToValue leaves the result unchanged");
        return;
    }
    if (std::isfinite(result)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(result));
        Number again = sentinel;
        Require(Common::ToValue(Common::ToWString(buffer), again) && again == result,
                "a parsed number reads back from its full-precision text");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int base = input.ConsumeIntegralInRange<int>(-1, 37);
    const std::string bytes = input.ConsumeRandomLengthString(256);
    CheckUtf8RoundTrip(bytes);

    const std::wstring text = Common::ToWString(bytes);
    CheckInteger<long>(text, base, -0x80000000LL, 0x7FFFFFFFLL);
    CheckInteger<unsigned long>(text, base, 0, 0xFFFFFFFFLL);
    CheckInteger<int>(text, base, -0x80000000LL, 0x7FFFFFFFLL);
    CheckInteger<unsigned int>(text, base, 0, 0xFFFFFFFFLL);
    CheckFloatingPoint<double>(text);
    CheckFloatingPoint<float>(text);

    std::wstring wide;
    while (input.remaining_bytes() >= sizeof(std::uint32_t)) {
        wide += static_cast<wchar_t>(input.ConsumeIntegral<std::uint32_t>());
    }
    CheckWideToUtf8(wide);
    return 0;
}
