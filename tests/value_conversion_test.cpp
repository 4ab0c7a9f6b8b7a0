#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <string>

#include "support/RecordingContext.h"
#include "support/ScriptErrorText.h"

namespace VelmorandScript {
namespace {

using Testing::ScriptErrorText;

// The registry is process-wide: every test uses types of its own.
template <int N>
struct Tag {
    int payload = N;
};

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

/// What the routines saw last.
struct RoutineCalls {
    const void* source = nullptr;
    IScriptContext* context = nullptr;
    int count = 0;
    int via = 0;
};
RoutineCalls g_calls;

/// Converts to Tag<To>, recording its arguments; `Via` tells paths apart.
template <int To, int Via = 0>
Value ConvertToTag(const Value& source, boost::shared_ptr<IScriptContext> context) {
    g_calls.source = source.GetValuePtr();
    g_calls.context = context.get();
    ++g_calls.count;
    g_calls.via = Via;
    const Tag<To> result;
    return Value(&result);
}

template <int N>
Value Throw(const Value&, boost::shared_ptr<IScriptContext>) {
    throw ScriptException(L"routine " + std::to_wstring(N) + L" failed");
}

ConversionRegistry& Registry() {
    return ConversionRegistry::GetInstance();
}

template <int From, int To>
void Register(ConversionRoutine routine = &ConvertToTag<To>) {
    Registry().RegisterDataConversion(TypeOf<Tag<From>>(), TypeOf<Tag<To>>(), routine);
}

template <int N>
Value MakeTag() {
    const Tag<N> tag;
    return Value(&tag);
}

TEST(ValueConversionTest, DirectConversionReplacesTheValueAndHandsOverTheContext) {
    Register<1, 2>();
    const auto context = boost::make_shared<Testing::RecordingContext>();
    Value value = MakeTag<1>();
    const Value original = value;
    g_calls = RoutineCalls();

    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<2>>(), context, value, true));
    EXPECT_EQ(value.GetType(), TypeOf<Tag<2>>());
    EXPECT_EQ(g_calls.count, 1);
    EXPECT_EQ(g_calls.source, original.GetValuePtr());
    EXPECT_EQ(g_calls.context, context.get());

    Value withoutScript = MakeTag<1>();
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<2>>(), {}, withoutScript, false));
    EXPECT_EQ(g_calls.context, nullptr);
}

TEST(ValueConversionTest, ValueTargetBoxesTheValueUnlessAConversionIsRegistered) {
    const DataType valueType = TypeOf<Value>();
    Value value = MakeTag<3>();
    const void* native = value.GetValuePtr();
    EXPECT_TRUE(Registry().ConvertValue(valueType, {}, value, true));
    EXPECT_EQ(value.GetType(), valueType);
    EXPECT_FALSE(value.IsConst());
    EXPECT_EQ(CastTo<Value>(&value, true)->GetValuePtr(), native);

    Value empty;
    EXPECT_TRUE(Registry().ConvertValue(valueType, {}, empty, true));
    EXPECT_TRUE(CastTo<Value>(&empty, true)->IsEmpty());

    Registry().RegisterDataConversion(TypeOf<Tag<4>>(), valueType, &ConvertToTag<5>);
    Value registered = MakeTag<4>();
    EXPECT_TRUE(Registry().ConvertValue(valueType, {}, registered, true));
    EXPECT_EQ(registered.GetType(), TypeOf<Tag<5>>());
}

TEST(ValueConversionTest, MissingConversionThrowsOrReportsFalseAndKeepsTheValue) {
    Value value = MakeTag<10>();
    const void* native = value.GetValuePtr();
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<11>>(), {}, value, false));
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, value, true); }),
              L"No valid conversion from " + TypeOf<Tag<10>>().GetName() + L" to " +
                  TypeOf<Tag<11>>().GetName());
    EXPECT_EQ(value.GetValuePtr(), native);

    Value empty;
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, empty, true); }),
              L"No valid conversion from void to " + TypeOf<Tag<11>>().GetName());
    EXPECT_TRUE(empty.IsEmpty());

    // A value of the target type is searched like any other.
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<10>>(), {}, value, false));
}

TEST(ValueConversionTest, TwoStepsThroughTheFirstQualifyingIntermediateTypeOnly) {
    // Tag<21> and Tag<22> both lead from Tag<20> to Tag<23>.
    Register<20, 21>();
    Register<21, 23>(&ConvertToTag<23, 21>);
    Register<20, 22>();
    Register<22, 23>(&ConvertToTag<23, 22>);
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<21>>());
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<22>>());
    const auto context = boost::make_shared<Testing::RecordingContext>();
    Value value = MakeTag<20>();
    g_calls = RoutineCalls();

    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<23>>(), context, value, true));
    EXPECT_EQ(value.GetType(), TypeOf<Tag<23>>());
    EXPECT_EQ(g_calls.count, 2);
    EXPECT_EQ(g_calls.context, context.get());
    EXPECT_EQ(g_calls.via, TypeOf<Tag<21>>() < TypeOf<Tag<22>>() ? 21 : 22);

    // Intermediate types are not chained: 23 -> 21 -> 22 -> 24 needs two of them.
    Register<23, 21>();
    Register<21, 22>();
    Register<22, 24>();
    Value chained = MakeTag<23>();
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<24>>(), {}, chained, false));
    // A type in the middle that is no intermediate type opens no path.
    Register<25, 26>();
    Register<26, 27>();
    Value unlisted = MakeTag<25>();
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<27>>(), {}, unlisted, false));
}

TEST(ValueConversionTest, ThrowingRoutinesLeaveTheValueAsFarAsItGot) {
    Register<30, 31>(&Throw<1>);
    Value value = MakeTag<30>();
    const void* native = value.GetValuePtr();
    EXPECT_EQ(
        ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<31>>(), {}, value, false); }),
        L"routine 1 failed");
    EXPECT_EQ(value.GetValuePtr(), native);

    Register<32, 33>();
    Register<33, 34>(&Throw<2>);
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<33>>());
    Value twoSteps = MakeTag<32>();
    EXPECT_EQ(
        ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<34>>(), {}, twoSteps, false); }),
        L"routine 2 failed");
    EXPECT_EQ(twoSteps.GetType(), TypeOf<Tag<33>>());
}

}  // namespace
}  // namespace VelmorandScript
