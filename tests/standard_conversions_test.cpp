#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "support/RecordingContext.h"
#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

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
    for (std::size_t index = 0; index < kTypes.size(); ++index) {
        if (kTypes[index] == type) {
            return index;
        }
    }
    ADD_FAILURE() << "not a standard type";
    return 0;
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
    std::wstring label;
    Value source;
    DataType target;
    Value expected;
    bool (*same)(const Value&, const Value&);
    std::wstring notice;
};

template <class From, class To>
Case Silent(From source, To expected) {
    return Case{TypeOf<From>().GetName() + L" -> " + TypeOf<To>().GetName(),
                Value(&source),
                TypeOf<To>(),
                Value(&expected),
                &SameContent<To>,
                L""};
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

/// A floating-point number as the formatter writes it; its exact text belongs to the formatter.
template <class Real>
std::wstring FormatterText(Real number) {
    Common::CfxFormat format;
    format << number;
    return format.ToString();
}

template <class T>
constexpr bool kIsSigned32 = std::is_same<T, long>::value || std::is_same<T, int>::value;

/// -1 as a signed 32-bit type, 4294967295 as an unsigned one.
template <class T>
T AllOnes() {
    return kIsSigned32<T> ? static_cast<T>(-1) : static_cast<T>(4294967295u);
}

template <class From, class To>
void AddPatternCase(std::vector<Case>& cases) {
    if constexpr (!std::is_same<From, To>::value) {
        cases.push_back(Silent(AllOnes<From>(), AllOnes<To>()));
        cases.push_back(Silent(static_cast<From>(7), static_cast<To>(7)));
    }
}

/// Conversions from and to one of the 32-bit integer types.
template <class Int>
void AddInteger32Cases(std::vector<Case>& cases) {
    const wchar_t* const minimum = L"-2147483648";
    const Int minimal = static_cast<Int>(kIsSigned32<Int> ? -2147483647 - 1 : 0);
    const std::wstring minimalText = kIsSigned32<Int> ? minimum : L"0";

    AddPatternCase<Int, long>(cases);
    AddPatternCase<Int, unsigned long>(cases);
    AddPatternCase<Int, int>(cases);
    AddPatternCase<Int, unsigned int>(cases);

    cases.push_back(Silent(static_cast<Int>(7), 7.0));
    cases.push_back(Silent(AllOnes<Int>(), kIsSigned32<Int> ? -1.0 : 4294967295.0));
    cases.push_back(Silent(static_cast<Int>(16777216), 16777216.0f));
    cases.push_back(Reported(static_cast<Int>(16777217), 16777216.0f, L"16777217", L"16777216"));
    cases.push_back(Silent(static_cast<Int>(0), false));
    cases.push_back(Silent(static_cast<Int>(1), true));
    cases.push_back(Reported(static_cast<Int>(5), true, L"5", L"1"));
    cases.push_back(Silent(static_cast<Int>(255), static_cast<unsigned char>(255)));
    cases.push_back(Reported(static_cast<Int>(256), static_cast<unsigned char>(0), L"256", L"0"));
    cases.push_back(Silent(static_cast<Int>(65), 'A'));
    cases.push_back(Reported(static_cast<Int>(321), 'A', L"321", L"A"));
    if constexpr (kIsSigned32<Int>) {
        cases.push_back(
            Reported(static_cast<Int>(-1), static_cast<unsigned char>(255), L"-1", L"255"));
        cases.push_back(Silent(static_cast<Int>(-128), static_cast<char>(-128)));
        cases.push_back(
            Reported(static_cast<Int>(128), static_cast<char>(-128), L"128", L"\u0080"));
    } else {
        cases.push_back(
            Reported(static_cast<Int>(4294967295u), 4294967296.0f, L"4294967295", L"4294967296"));
        cases.push_back(Silent(static_cast<Int>(4294967295u), static_cast<char>(-1)));
        cases.push_back(Silent(static_cast<Int>(4294967168u), static_cast<char>(-128)));
        cases.push_back(Reported(static_cast<Int>(255), static_cast<char>(-1), L"255", L"\u00FF"));
    }

    cases.push_back(Silent(7.0, static_cast<Int>(7)));
    cases.push_back(Reported(2.5, static_cast<Int>(2), L"2.5", L"2"));
    cases.push_back(Reported(kNaN, minimal, L"nan", minimalText));
    cases.push_back(Reported(kInfinity, minimal, L"inf", minimalText));
    cases.push_back(Reported(-kInfinity, minimal, L"-inf", minimalText));
    cases.push_back(Silent(7.0f, static_cast<Int>(7)));
    cases.push_back(Reported(2.5f, static_cast<Int>(2), L"2.5", L"2"));
    cases.push_back(Reported(kFloatNaN, minimal, L"nan", minimalText));
    if constexpr (kIsSigned32<Int>) {
        cases.push_back(Reported(-2.5, static_cast<Int>(-2), L"-2.5", L"-2"));
        cases.push_back(Silent(-2147483648.0, minimal));
        cases.push_back(Silent(2147483647.0, static_cast<Int>(2147483647)));
        cases.push_back(Reported(2147483648.0, minimal, L"2147483648", minimum));
        cases.push_back(Reported(1e10, minimal, FormatterText(1e10), minimum));
        cases.push_back(Reported(1e10f, minimal, FormatterText(1e10f), minimum));
    } else {
        cases.push_back(Reported(-1.0, static_cast<Int>(4294967295u), L"-1", L"4294967295"));
        cases.push_back(Reported(-1.0f, static_cast<Int>(4294967295u), L"-1", L"4294967295"));
        cases.push_back(Silent(4294967295.0, static_cast<Int>(4294967295u)));
        cases.push_back(Reported(4294967296.0, static_cast<Int>(0), L"4294967296", L"0"));
        cases.push_back(
            Reported(1e10, static_cast<Int>(1410065408), FormatterText(1e10), L"1410065408"));
    }

    cases.push_back(Silent(false, static_cast<Int>(0)));
    cases.push_back(Silent(true, static_cast<Int>(1)));
    cases.push_back(Silent(static_cast<unsigned char>(200), static_cast<Int>(200)));
    cases.push_back(Silent(static_cast<char>(-1), AllOnes<Int>()));
    cases.push_back(Silent('A', static_cast<Int>(65)));
}

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    AddInteger32Cases<long>(cases);
    AddInteger32Cases<unsigned long>(cases);
    AddInteger32Cases<int>(cases);
    AddInteger32Cases<unsigned int>(cases);

    // long and unsigned long convert by their low 32 bits.
    cases.push_back(Reported((1L << 32) + 5, true, L"5", L"1"));
    cases.push_back(Silent((1L << 32) + 5, 5.0));
    cases.push_back(Silent((1UL << 32) + 7, 7));
    cases.push_back(Silent((1UL << 32) - 1, -1L));

    // double -> float is never reported, whatever it loses.
    const double floatOverflow = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    cases.push_back(Silent(2.5, 2.5f));
    cases.push_back(Silent(16777217.0, 16777216.0f));
    cases.push_back(Silent(1e300, kFloatInfinity));
    cases.push_back(Silent(-1e300, -kFloatInfinity));
    cases.push_back(Silent(floatOverflow, kFloatInfinity));
    cases.push_back(Silent(std::nextafter(floatOverflow, 0.0), std::numeric_limits<float>::max()));
    cases.push_back(Silent(kNaN, kFloatNaN));
    cases.push_back(Silent(0.1f, static_cast<double>(0.1f)));
    cases.push_back(Silent(-kFloatInfinity, -kInfinity));
    cases.push_back(Silent(kFloatNaN, kNaN));

    cases.push_back(Silent(true, static_cast<unsigned char>(1)));
    cases.push_back(Silent(false, static_cast<char>(0)));
    cases.push_back(Silent(static_cast<unsigned char>(1), true));
    cases.push_back(Reported(static_cast<unsigned char>(200), true, L"200", L"1"));
    cases.push_back(Silent(static_cast<char>(0), false));
    cases.push_back(Reported('A', true, L"A", L"1"));
    cases.push_back(Silent(static_cast<unsigned char>(200), static_cast<char>(-56)));
    cases.push_back(Silent(static_cast<char>(-56), static_cast<unsigned char>(200)));

    // Text.
    cases.push_back(Silent(std::wstring(L"42"), 42L));
    cases.push_back(Silent(std::wstring(L"4294967295"), 4294967295UL));
    cases.push_back(Silent(std::wstring(L"-7"), -7));
    cases.push_back(Silent(std::wstring(L"7"), 7u));
    cases.push_back(Silent(std::wstring(L"2.5"), 2.5));
    cases.push_back(Silent(std::wstring(L"-0.25"), -0.25f));
    cases.push_back(Silent(-5L, std::wstring(L"-5")));
    cases.push_back(Silent((1L << 32) + 9, std::wstring(L"9")));
    cases.push_back(Silent(4294967295UL, std::wstring(L"4294967295")));
    cases.push_back(Silent(-2147483647 - 1, std::wstring(L"-2147483648")));
    cases.push_back(Silent(7u, std::wstring(L"7")));
    cases.push_back(Silent(2.5, std::wstring(L"2.5")));
    cases.push_back(Silent(16777216.0f, std::wstring(L"16777216")));
    return cases;
}

class StandardConversionsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StandardConversions::RegisterDataConversions(); }

    static ConversionRegistry& Registry() { return ConversionRegistry::GetInstance(); }
};

TEST_F(StandardConversionsTest, RegistersExactlyTheCellsOfTheTable) {
    for (std::size_t from = 0; from < kTypes.size(); ++from) {
        for (std::size_t to = 0; to < kTypes.size(); ++to) {
            EXPECT_EQ(Registry().HasDataConversion(kTypes[from], kTypes[to]),
                      kRules[from][to] != ' ')
                << "from " << from << " to " << to;
        }
    }
    EXPECT_TRUE(Registry().HasDataConversion(TypeOf<DataType>(), TypeOf<std::wstring>()));
    EXPECT_TRUE(Registry().HasDataConversion(TypeOf<IArray>(), TypeOf<IObject>()));
    EXPECT_EQ(Registry().GetConversionCount(), 74u);

    for (const DataType& type : kTypes) {
        EXPECT_EQ(Registry().IsIntermediateConversionDataType(type), type == kTypes.back());
    }
    for (const DataType& type : kTypes) {
        EXPECT_EQ(Registry().GetWrapperRoutine(type), nullptr);
    }
}

TEST_F(StandardConversionsTest, EveryPairConvertsByItsRule) {
    const std::vector<Case> cases = AllCases();
    std::map<std::pair<std::size_t, std::size_t>, std::set<bool>> reportedByPair;

    for (const Case& row : cases) {
        SCOPED_TRACE(Common::ToUtf8(row.label + L", notice: " + row.notice));
        const Value sourceBefore = row.source;
        const auto context = boost::make_shared<RecordingContext>();
        Value value = row.source;
        ASSERT_TRUE(Registry().ConvertValue(row.target, context, value, true));

        EXPECT_EQ(value.GetType(), row.target);
        EXPECT_FALSE(value.IsConst());
        EXPECT_TRUE(row.same(value, row.expected));
        if (row.notice.empty()) {
            EXPECT_TRUE(context->GetNotices().empty());
        } else {
            ASSERT_EQ(context->GetNotices().size(), 1u);
            EXPECT_EQ(context->GetNotices()[0].text, row.notice);
            EXPECT_EQ(context->GetNotices()[0].type, WarningEvent);
        }
        EXPECT_EQ(row.source.GetValuePtr(), sourceBefore.GetValuePtr());

        // Without a script the result is the same and nothing can be reported.
        Value withoutScript = row.source;
        ASSERT_TRUE(Registry().ConvertValue(row.target, {}, withoutScript, true));
        EXPECT_TRUE(row.same(withoutScript, row.expected));

        reportedByPair[{IndexOf(row.source.GetType()), IndexOf(row.target)}].insert(
            !row.notice.empty());
    }

    // Every registered pair is walked; a pair that can report is seen reporting and silent.
    for (std::size_t from = 0; from < kTypes.size(); ++from) {
        for (std::size_t to = 0; to < kTypes.size(); ++to) {
            const char rule = kRules[from][to];
            const std::set<bool>& reported = reportedByPair[{from, to}];
            SCOPED_TRACE(std::string("from ") + std::to_string(from) + " to " + std::to_string(to));
            if (rule == ' ') {
                EXPECT_TRUE(reported.empty());
            } else if (rule == 'K') {
                EXPECT_EQ(reported, (std::set<bool>{false, true}));
            } else {
                EXPECT_EQ(reported, std::set<bool>{false});
            }
        }
    }
}

TEST_F(StandardConversionsTest, UnparsableStringsRaiseTheirMessage) {
    struct Row {
        std::wstring text;
        DataType target;
    };
    const Row rows[] = {
        {L"abc", TypeOf<long>()},        {L"", TypeOf<int>()},
        {L"4.5", TypeOf<int>()},         {L"0x10", TypeOf<unsigned int>()},
        {L"2147483648", TypeOf<long>()}, {L"4294967296", TypeOf<unsigned long>()},
        {L"1e39", TypeOf<float>()},      {L"two", TypeOf<double>()},
    };
    for (const Row& row : rows) {
        Value value(&row.text);
        EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(row.target, {}, value, false); }),
                  L"Failed to convert the string value " + row.text + L" to " +
                      row.target.GetName() + L".");
        EXPECT_EQ(value.GetType(), TypeOf<std::wstring>());
    }
}

TEST_F(StandardConversionsTest, PathsThroughTheIntermediateString) {
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

    // Neither bool -> String nor a number -> String -> bool chain exists.
    const bool flag = true;
    Value boolValue(&flag);
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<std::wstring>(), {}, boolValue, false));
    EXPECT_EQ(boolValue.GetType(), TypeOf<bool>());
    EXPECT_EQ(ScriptErrorText(
                  [&] { Registry().ConvertValue(TypeOf<std::wstring>(), {}, boolValue, true); }),
              L"No valid conversion from bool to String");
    const double real = 1.0;
    Value realValue(&real);
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<bool>(), {}, realValue, false));
}

TEST_F(StandardConversionsTest, NamesAndArrayWrappers) {
    const DataType stringType = TypeOf<std::wstring>();
    Value name(&stringType);
    EXPECT_TRUE(Registry().ConvertValue(stringType, {}, name, true));
    EXPECT_EQ(GetAs<std::wstring>(name), L"String");

    Testing::RegisterArrayClass();
    const auto array = boost::make_shared<Array>(boost::make_shared<Testing::TestArrayValue>());
    Value object = array->GetScriptedObject();
    ASSERT_EQ(object.GetType(), TypeOf<IArray>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<IObject>(), {}, object, true));
    EXPECT_EQ(object.GetType(), TypeOf<IObject>());
    EXPECT_TRUE(object.IsIObject());
    EXPECT_FALSE(object.IsVector());
    EXPECT_EQ(CastTo<IObject>(&object, true), static_cast<IObject*>(array.get()));

    Value nullArray(static_cast<const IArray*>(nullptr));
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<IObject>(), {}, nullArray, true));
    EXPECT_EQ(nullArray.GetType(), TypeOf<IObject>());
    EXPECT_EQ(nullArray.GetValuePtr(), nullptr);
}

TEST_F(StandardConversionsTest, ExceptionFromTheNoticeHandlerPropagates) {
    const auto context = boost::make_shared<RecordingContext>();
    context->ThrowOnNotify(ScriptAbortException(L"stopped by the handler"));
    const long five = 5;
    Value value(&five);
    EXPECT_THROW(Registry().ConvertValue(TypeOf<bool>(), context, value, true),
                 ScriptAbortException);
    EXPECT_EQ(value.GetType(), TypeOf<long>());
    EXPECT_EQ(context->GetNotices().size(), 1u);

    // A silent conversion never reaches the handler.
    const long one = 1;
    Value silent(&one);
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<bool>(), context, silent, true));
}

TEST_F(StandardConversionsTest, RegisteringAgainChangesNothing) {
    const ConversionRegistry before(Registry());
    StandardConversions::RegisterDataConversions();
    EXPECT_EQ(Registry().GetConversionCount(), before.GetConversionCount());

    const long five = 5;
    Value value(&five);
    const auto context = boost::make_shared<RecordingContext>();
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<bool>(), context, value, true));
    EXPECT_EQ(context->GetNotices().size(), 1u) << "each conversion reports once";
}

}  // namespace
}  // namespace VelmorandScript
