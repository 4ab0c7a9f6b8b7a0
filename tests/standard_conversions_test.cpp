#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "support/RecordingContext.h"
#include "support/ScriptErrorText.h"
#include "support/WrapperRoutines.h"

namespace VelmorandScript {
namespace {

using Testing::RecordingContext;
using Testing::ScriptErrorText;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr float kFloatNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kFloatInfinity = std::numeric_limits<float>::infinity();

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

// The standard types in the order of the conversion table, with the names messages show.
const std::vector<DataType> kTypes = {
    TypeOf<long>(),   TypeOf<unsigned long>(), TypeOf<int>(),  TypeOf<unsigned int>(),
    TypeOf<double>(), TypeOf<float>(),         TypeOf<bool>(), TypeOf<unsigned char>(),
    TypeOf<char>(),   TypeOf<std::wstring>()};

// The rule of every cell, rows the source and columns the target, both in the order of kTypes.
// K: precision-tested and able to report; k: precision-tested but never reporting (the way back
// always restores the source); E, U, P, T as registered; blank: no conversion.
const char* const kRules[] = {
    " EEEkKKKKT",  // long
    "E EEkKKKKT",  // unsigned long
    "EE EkKKKKT",  // int
    "EEE kKKKKT",  // unsigned int
    "KKKK U   T",  // double
    "KKKKE    T",  // float
    "kkkk   kk ",  // bool
    "kkkk  K E ",  // unsigned char
    "kkkk  KE  ",  // char
    "PPPPPP    ",  // String
};

std::size_t IndexOf(const DataType& type) {
    return std::find(kTypes.begin(), kTypes.end(), type) - kTypes.begin();
}

/// Equal numbers, NaN equal to NaN, and the sign of zeros and infinities respected.
template <class T>
bool SameContent(const Value& left, const Value& right) {
    const T& a = *CastTo<T>(&left, true);
    const T& b = *CastTo<T>(&right, true);
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
    return Case{Value(&source), TypeOf<To>(), Value(&expected), &SameContent<To>, L""};
}

template <class From, class To>
Case Reported(From source, To expected, const std::wstring& shownSource,
              const std::wstring& shownResult) {
    Case row = Silent(source, expected);
    row.notice = L"Loss of precision in conversion from " + TypeOf<From>().GetName() + L" to " +
                 TypeOf<To>().GetName() + L" (original value " + shownSource + L" converted to " +
                 shownResult + L").";
    return row;
}

template <class T>
constexpr bool kIsSigned32 = std::is_same<T, long>::value || std::is_same<T, int>::value;

/// -1 as a signed 32-bit type, 4294967295 as an unsigned one.
template <class T>
T AllOnes() {
    return kIsSigned32<T> ? T(-1) : T(4294967295u);
}

template <class From, class To>
void AddPatternCase(std::vector<Case>& cases) {
    if constexpr (!std::is_same<From, To>::value) {
        cases.insert(cases.end(), {Silent(AllOnes<From>(), AllOnes<To>()), Silent(From(7), To(7))});
    }
}

using UChar = unsigned char;

/// Conversions from and to one of the 32-bit integer types.
template <class Int>
void AddInteger32Cases(std::vector<Case>& cases) {
    const Int minimal = kIsSigned32<Int> ? Int(-2147483647 - 1) : Int(0);
    const std::wstring minimalText = kIsSigned32<Int> ? L"-2147483648" : L"0";
    AddPatternCase<Int, long>(cases);
    AddPatternCase<Int, unsigned long>(cases);
    AddPatternCase<Int, int>(cases);
    AddPatternCase<Int, unsigned int>(cases);
    cases.insert(
        cases.end(),
        {// To double, float, bool and the characters.
         Silent(AllOnes<Int>(), kIsSigned32<Int> ? -1.0 : 4294967295.0),
         Silent(Int(16777216), 16777216.0f),
         Reported(Int(16777217), 16777216.0f, L"16777217", L"16777216"), Silent(Int(1), true),
         Reported(Int(5), true, L"5", L"1"), Silent(Int(255), UChar(255)),
         Reported(Int(256), UChar(0), L"256", L"0"), Silent(Int(65), 'A'),
         Reported(Int(321), 'A', L"321", L"A"),
         // From double and float.
         Silent(7.0, Int(7)), Reported(2.5, Int(2), L"2.5", L"2"),
         Reported(kNaN, minimal, L"nan", minimalText),
         Reported(kInfinity, minimal, L"inf", minimalText),
         Reported(-kInfinity, minimal, L"-inf", minimalText), Silent(7.0f, Int(7)),
         Reported(2.5f, Int(2), L"2.5", L"2"), Reported(kFloatNaN, minimal, L"nan", minimalText),
         // From bool and the characters.
         Silent(true, Int(1)), Silent(UChar(200), Int(200)), Silent(char(-1), AllOnes<Int>()),
         Silent('A', Int(65))});
    if constexpr (kIsSigned32<Int>) {
        cases.insert(cases.end(),
                     {Reported(Int(-1), UChar(255), L"-1", L"255"), Silent(Int(-128), char(-128)),
                      Reported(Int(128), char(-128), L"128", L"\u0080"),
                      Reported(-2.5, Int(-2), L"-2.5", L"-2"), Silent(-2147483648.0, minimal),
                      Silent(2147483647.0, Int(2147483647)),
                      Reported(2147483648.0, minimal, L"2147483648", minimalText),
                      Reported(1e10, minimal, L"10000000000", minimalText)});
    } else {
        cases.insert(
            cases.end(),
            {Reported(Int(4294967295u), 4294967296.0f, L"4294967295", L"4294967296"),
             Silent(Int(4294967295u), char(-1)), Reported(Int(255), char(-1), L"255", L"\u00FF"),
             Reported(-1.0, Int(4294967295u), L"-1", L"4294967295"),
             Silent(4294967295.0, Int(4294967295u)),
             Reported(4294967296.0, Int(0), L"4294967296", L"0"),
             Reported(1e10, Int(1410065408), L"10000000000", L"1410065408")});
    }
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    AddInteger32Cases<long>(cases);
    AddInteger32Cases<unsigned long>(cases);
    AddInteger32Cases<int>(cases);
    AddInteger32Cases<unsigned int>(cases);
    cases.insert(
        cases.end(),
        {// long and unsigned long convert by their low 32 bits.
         Reported((1L << 32) + 5, true, L"5", L"1"), Silent((1L << 32) + 5, 5.0),
         Silent((1UL << 32) + 7, 7), Silent((1UL << 32) - 1, -1L),
         // double -> float is never reported, whatever it loses.
         Silent(16777217.0, 16777216.0f), Silent(1e300, kFloatInfinity),
         Silent(-1e300, -kFloatInfinity), Silent(kNaN, kFloatNaN),
         Silent(0.1f, static_cast<double>(0.1f)), Silent(kFloatNaN, kNaN),
         // bool and the characters.
         Silent(true, UChar(1)), Silent(false, char(0)), Silent(UChar(1), true),
         Reported(UChar(200), true, L"200", L"1"), Silent(char(0), false),
         Reported('A', true, L"A", L"1"), Silent(UChar(200), char(-56)),
         Silent(char(-56), UChar(200)),
         // Text.
         Silent(std::wstring(L"42"), 42L), Silent(std::wstring(L"4294967295"), 4294967295UL),
         Silent(std::wstring(L"-7"), -7), Silent(std::wstring(L"7"), 7u),
         Silent(std::wstring(L"2.5"), 2.5), Silent(std::wstring(L"-0.25"), -0.25f),
         Silent(-5L, std::wstring(L"-5")), Silent((1L << 32) + 9, std::wstring(L"9")),
         Silent(4294967295UL, std::wstring(L"4294967295")),
         Silent(-2147483647 - 1, std::wstring(L"-2147483648")), Silent(7u, std::wstring(L"7")),
         Silent(2.5, std::wstring(L"2.5")), Silent(16777216.0f, std::wstring(L"16777216"))});
    return cases;
}

class StandardConversionsTest : public ::testing::Test {
protected:
    // Registering twice must change nothing: the tests below see one registration's table.
    static void SetUpTestSuite() {
        StandardConversions::RegisterDataConversions();
        StandardConversions::RegisterDataConversions();
    }

    static ConversionRegistry& Registry() { return ConversionRegistry::GetInstance(); }
};

TEST_F(StandardConversionsTest, EveryCellOfTheTableConvertsByItsRule) {
    std::map<std::pair<std::size_t, std::size_t>, std::set<bool>> reportedByPair;
    for (const Case& row : AllCases()) {
        SCOPED_TRACE(Common::ToUtf8(row.source.GetTypeName() + L" -> " + row.target.GetName() +
                                    L", notice: " + row.notice));
        const auto context = boost::make_shared<RecordingContext>();
        Value value = row.source;
        ASSERT_TRUE(Registry().ConvertValue(row.target, context, value, true));
        EXPECT_EQ(value.GetType(), row.target);
        EXPECT_TRUE(row.same(value, row.expected));
        if (row.notice.empty()) {
            EXPECT_TRUE(context->GetNotices().empty());
        } else {
            ASSERT_EQ(context->GetNotices().size(), 1u);
            EXPECT_EQ(context->GetNotices()[0].text, row.notice);
            EXPECT_EQ(context->GetNotices()[0].type, WarningEvent);
        }

        reportedByPair[{IndexOf(row.source.GetType()), IndexOf(row.target)}].insert(
            !row.notice.empty());
    }

    // Exactly the cells of the table are registered, and every one is walked; a pair that can
    // report is seen reporting and silent.
    for (std::size_t from = 0; from < kTypes.size(); ++from) {
        for (std::size_t to = 0; to < kTypes.size(); ++to) {
            const char rule = kRules[from][to];
            SCOPED_TRACE(std::string("from ") + std::to_string(from) + " to " + std::to_string(to));
            EXPECT_EQ(Registry().HasDataConversion(kTypes[from], kTypes[to]), rule != ' ');
            const std::set<bool> expected = rule == ' '   ? std::set<bool>()
                                            : rule == 'K' ? std::set<bool>{false, true}
                                                          : std::set<bool>{false};
            EXPECT_EQ(reportedByPair[std::make_pair(from, to)], expected);
        }
        EXPECT_EQ(Registry().IsIntermediateConversionDataType(kTypes[from]),
                  kTypes[from] == TypeOf<std::wstring>());
    }
    EXPECT_EQ(Registry().GetConversionCount(), 74u);
}

TEST_F(StandardConversionsTest, StringsParseOrRaiseAndPathsRunThroughThem) {
    for (const std::wstring text : {L"4.5", L"4294967296"}) {
        Value value(&text);
        EXPECT_EQ(
            ScriptErrorText([&] { Registry().ConvertValue(TypeOf<int>(), {}, value, false); }),
            L"Failed to convert the string value " + text + L" to int.");
        EXPECT_EQ(value.GetType(), TypeOf<std::wstring>());
    }

    long number = 7;
    Value roundTrip(&number);
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<long>(), {}, roundTrip, true));
    EXPECT_EQ(GetAs<long>(roundTrip), 7);
    EXPECT_NE(roundTrip.GetValuePtr(), &number);

    // A DataType reaches String by its name, which then fails to parse; the value keeps the name.
    const DataType intType = TypeOf<int>();
    Value typeValue(&intType);
    EXPECT_EQ(
        ScriptErrorText([&] { Registry().ConvertValue(TypeOf<long>(), {}, typeValue, true); }),
        L"Failed to convert the string value int to long.");
    EXPECT_EQ(GetAs<std::wstring>(typeValue), L"int");
    const DataType stringType = TypeOf<std::wstring>();
    Value name(&stringType);
    EXPECT_TRUE(Registry().ConvertValue(stringType, {}, name, true));
    EXPECT_EQ(GetAs<std::wstring>(name), L"String");

    // Neither bool -> String nor a number -> String -> bool chain exists.
    const bool flag = true;
    Value boolValue(&flag);
    EXPECT_FALSE(Registry().ConvertValue(stringType, {}, boolValue, false));
    EXPECT_EQ(boolValue.GetType(), TypeOf<bool>());
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(stringType, {}, boolValue, true); }),
              L"No valid conversion from bool to String");
    const double real = 1.0;
    Value realValue(&real);
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<bool>(), {}, realValue, false));
}

TEST_F(StandardConversionsTest, ArraysBecomeTheSameObjectAndHandlerExceptionsPropagate) {
    const Testing::EmptyTestArray array;
    for (const IArray* pointer :
         {static_cast<const IArray*>(&array), static_cast<const IArray*>(nullptr)}) {
        Value object(pointer);
        EXPECT_TRUE(Registry().ConvertValue(TypeOf<IObject>(), {}, object, true));
        EXPECT_EQ(object.GetType(), TypeOf<IObject>());
        EXPECT_TRUE(object.IsIObject() && !object.IsVector());
        EXPECT_EQ(CastTo<IObject>(&object, false), static_cast<const IObject*>(pointer));
    }

    const auto context = boost::make_shared<RecordingContext>();
    context->ThrowOnNotify(ScriptAbortException(L"stopped by the handler"));
    const long five = 5;
    Value value(&five);
    EXPECT_THROW(Registry().ConvertValue(TypeOf<bool>(), context, value, true),
                 ScriptAbortException);
    EXPECT_EQ(value.GetType(), TypeOf<long>());
    EXPECT_EQ(context->GetNotices().size(), 1u);
}

}  // namespace
}  // namespace VelmorandScript
