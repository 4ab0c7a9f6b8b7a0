#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <Common/Text.h>

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

namespace VelmorandScript {
namespace {

using namespace Testing;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr long kMin = -2147483647 - 1;
using UChar = unsigned char;

/// Equal numbers, NaN equal to NaN, and zeros and infinities of the same sign.
template <class T>
bool SameContent(const Value& left, const Value& right) {
    const T &a = Read<T>(left), &b = Read<T>(right);
    if constexpr (std::is_floating_point<T>::value) {
        return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
    } else {
        return a == b;
    }
}

/// One conversion: the source, the expected result and the notice it sends ("" for none).
struct Case {
    Value source;
    DataType target;
    Value expected;
    bool (*same)(const Value&, const Value&);
    std::wstring notice;
};

template <class From, class To>
Case Silent(From source, To expected) {
    return Case{Make(source), TypeOf<To>(), Make(expected), &SameContent<To>, L""};
}

template <class From, class To>
Case Lossy(From source, To expected, const std::wstring& shownSource,
           const std::wstring& shownResult) {
    Case row = Silent(source, expected);
    row.notice = L"Loss of precision in conversion from " + TypeOf<From>().GetName() + L" to " +
                 TypeOf<To>().GetName() + L" (original value " + shownSource + L" converted to " +
                 shownResult + L").";
    return row;
}

std::vector<Case> AllCases() {
    return {// long and unsigned long convert by their low 32 bits.
            Lossy((1L << 32) + 5, true, L"5", L"1"), Silent((1L << 32) + 5, 5.0),
            Silent((1UL << 32) + 7, 7), Silent((1L << 32) + 9, std::wstring(L"9")),
            Silent(4294967295u, 4294967295.0),
            // To float, bool and the characters.
            Silent(16777216, 16777216.0f), Lossy(16777217L, 16777216.0f, L"16777217", L"16777216"),
            Lossy(4294967295UL, 4294967296.0f, L"4294967295", L"4294967296"), Silent(1L, true),
            Lossy(256, UChar(0), L"256", L"0"), Lossy(-1L, UChar(255), L"-1", L"255"),
            Lossy(321L, 'A', L"321", L"A"), Lossy(128, char(-128), L"128", L"\u0080"),
            // From the reals: truncated, and out of range to the smallest signed value.
            Silent(7.0, 7), Lossy(-2.5, -2L, L"-2.5", L"-2"), Lossy(2.5f, 2u, L"2.5", L"2"),
            Lossy(kNaN, int(kMin), L"nan", L"-2147483648"),
            Lossy(-kInfinity, kMin, L"-inf", L"-2147483648"), Silent(-2147483648.0, kMin),
            Lossy(2147483648.0, int(kMin), L"2147483648", L"-2147483648"),
            Lossy(-1.0, 4294967295UL, L"-1", L"4294967295"),
            Lossy(4294967296.0, 0u, L"4294967296", L"0"),
            Lossy(1e10, 1410065408UL, L"10000000000", L"1410065408"),
            // double -> float is never reported, whatever it loses.
            Silent(16777217.0, 16777216.0f), Silent(1e300, float(kInfinity)),
            // bool and the characters.
            Silent(UChar(200), 200u), Silent(char(-1), 4294967295UL),
            Lossy(UChar(200), true, L"200", L"1"), Lossy('A', true, L"A", L"1"),
            Silent(UChar(200), char(-56)),
            // Text.
            Silent(std::wstring(L"4294967295"), 4294967295UL),
            Silent(std::wstring(L"-0.25"), -0.25f),
            Silent(4294967295UL, std::wstring(L"4294967295")),
            Silent(int(kMin), std::wstring(L"-2147483648")), Silent(2.5, std::wstring(L"2.5")),
            Silent(16777216.0f, std::wstring(L"16777216")),
            // The integer types convert as 32-bit patterns, long and unsigned long included (one
            // template does all; a row per source type).
            Silent(-1L, 4294967295UL), Silent(4294967295UL, -1L), Silent(-1, 4294967295UL),
            Silent(4294967295u, -1L)};
}

class StandardConversionsTest : public ::testing::Test {
protected:
    // Registering twice must change nothing.
    static void SetUpTestSuite() {
        StandardConversions::RegisterDataConversions();
        StandardConversions::RegisterDataConversions();
    }

    static ConversionRegistry& Registry() { return ConversionRegistry::GetInstance(); }
};

TEST_F(StandardConversionsTest, ConversionsFollowTheTableAndReportLostPrecision) {
    for (const Case& row : AllCases()) {
        SCOPED_TRACE(Common::ToUtf8(row.source.GetTypeName() + L" -> " + row.target.GetName() +
                                    L", notice: " + row.notice));
        const auto context = boost::make_shared<RecordingContext>();
        Value value = row.source;
        ASSERT_TRUE(Registry().ConvertValue(row.target, context, value, true));
        EXPECT_TRUE(value.GetType() == row.target && row.same(value, row.expected));
        ASSERT_EQ(context->notices.size(), row.notice.empty() ? 0u : 1u);
        if (!row.notice.empty()) {
            EXPECT_EQ(context->notices[0], row.notice);
            EXPECT_EQ(context->types[0], WarningEvent);
        }
    }

    // The table above reaches most pairs; the count catches missing and doubled registrations.
    EXPECT_EQ(Registry().GetConversionCount(), 74u);
    EXPECT_TRUE(Registry().IsIntermediateConversionDataType(TypeOf<std::wstring>()));
    EXPECT_FALSE(Registry().HasDataConversion(TypeOf<double>(), TypeOf<bool>()));
}

TEST_F(StandardConversionsTest, StringsParseOrRaiseAndArraysStayObjects) {
    for (const std::wstring text : {L"4.5", L"4294967296"}) {
        Value value(&text);
        EXPECT_EQ(
            ScriptErrorText([&] { Registry().ConvertValue(TypeOf<int>(), {}, value, false); }),
            L"Failed to convert the string value " + text + L" to int.");
        EXPECT_EQ(value.GetType(), TypeOf<std::wstring>());
    }
    // A DataType reaches String by its name, which then fails to parse; the value keeps the name.
    const DataType intType = TypeOf<int>();
    Value typeValue(&intType);
    EXPECT_EQ(
        ScriptErrorText([&] { Registry().ConvertValue(TypeOf<long>(), {}, typeValue, true); }),
        L"Failed to convert the string value int to long.");
    EXPECT_EQ(GetAs<std::wstring>(typeValue), L"int");

    // An array becomes the same object.
    const auto array = MakeEmptyArray();
    Value object(static_cast<const IArray*>(array.get()));
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<IObject>(), {}, object, true));
    EXPECT_TRUE(object.IsIObject() && !object.IsVector());
    EXPECT_EQ(CastTo<IObject>(&object, false), static_cast<const IObject*>(array.get()));
}

TEST_F(StandardConversionsTest, ValuesInMessagesKeepWhatFollowsANulAndAreCutWhenLong) {
    const std::wstring x200(200, L'x');
    const struct {
        std::wstring value;
        std::wstring shown;
    } rows[] = {
        {std::wstring(L"a\0b", 3), L"a\\0b"},
        {std::wstring(1, L'\0'), L"\\0"},
        {x200, x200},
        {x200 + L"y", x200 + L"\u2026"},
        {x200 + std::wstring(1 << 20, L'z'), x200 + L"\u2026"},
        {std::wstring(199, L'x') + L'\0' + L"tail", std::wstring(199, L'x') + L"\\0\u2026"},
    };
    for (const auto& row : rows) {
        const std::wstring expected =
            L"Failed to convert the string value " + row.shown + L" to int.";
        try {
            Value value(&row.value);
            Registry().ConvertValue(TypeOf<int>(), {}, value, true);
            ADD_FAILURE() << "no exception for " << Common::ToUtf8(row.shown);
        } catch (const ScriptException& error) {
            EXPECT_EQ(error.GetExceptionMessage(), expected);
            // what() is read as a C string: nothing may end it early.
            EXPECT_EQ(std::string(error.what()), Common::ToUtf8(expected));
        }
    }

    // An argument error decorates a whole message: long, it is kept whole; its NULs are shown.
    const TestScriptCall call(L"Resize");
    const std::wstring message = x200 + std::wstring(L"\0!", 2);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(message, &call, 0, L"r"); }),
              x200 + L"\\0! (argument #1, calling Resize).");
}

}  // namespace
}  // namespace VelmorandScript
