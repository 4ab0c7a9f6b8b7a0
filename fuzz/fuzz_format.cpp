// Fuzzes Common::CfxFormat: arbitrary patterns, placeholders and insertions of every kind, and
// message ids that may or may not be registered.

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_format: broken guarantee: %s\n", what);
        std::abort();
    }
}

std::wstring ConsumeText(FuzzedDataProvider& input) {
    return Common::ToWString(input.ConsumeRandomLengthString(64));
}

// Inserts one value of a kind chosen by the input; returns its text when it is known in advance.
void InsertOne(FuzzedDataProvider& input, Common::CfxFormat& format) {
    switch (input.ConsumeIntegralInRange(0, 5)) {
        case 0:
            format << ConsumeText(input);
            break;
        case 1:
            format << ConsumeText(input).c_str();
            break;
        case 2:
            format << input.ConsumeFloatingPoint<double>();
            break;
        case 3:
            format << input.ConsumeFloatingPoint<float>();
            break;
        case 4:
            format.Append(input.ConsumeIntegral<long>());
            break;
        default:
            format.Stream() << input.ConsumeIntegral<unsigned int>() << L'/' << ConsumeText(input);
            format.AfterInsertion();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int kind = input.ConsumeIntegralInRange(0, 2);
    const std::wstring pattern = ConsumeText(input);
    const int insertions = input.ConsumeIntegralInRange(0, 12);

    if (kind == 0) {
        Common::CfxFormat format(pattern);
        for (int i = 0; i < insertions; ++i) {
            InsertOne(input, format);
        }
        const std::wstring result = format.ToString();
        if (pattern.find(L'%') == std::wstring::npos) {
            Require(result == pattern, "a pattern without placeholders is kept as it is");
        }
        Require(static_cast<std::wstring>(format) == result, "ToString is repeatable");
    } else if (kind == 1) {
        Common::CfxFormat format;
        format << pattern;
        for (int i = 1; i < insertions; ++i) {
            InsertOne(input, format);
        }
        Require(format.ToString() == pattern, "without a pattern the first insertion is the text");
    } else {
        Common::CfxFormat format(input.ConsumeIntegral<unsigned int>());
        for (int i = 0; i < insertions; ++i) {
            InsertOne(input, format);
        }
        Require(!format.ToString().empty(), "a message id always yields some text");
    }
    return 0;
}
