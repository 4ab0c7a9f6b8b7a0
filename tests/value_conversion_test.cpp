#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <stdexcept>
#include <string>

#include "support/RecordingContext.h"
#include "support/ScriptErrorText.h"
#include "support/WrapperRoutines.h"

namespace VelmorandScript {
namespace {

using Testing::EmptyTestArray;
using Testing::ScriptErrorText;
using Testing::Wrapped;
using Testing::WrapWith;

// The registries are process-wide: every test uses types of its own.
template <int N>
struct Tag {
    virtual ~Tag() = default;
    int via = 0;
};
template <int N>
struct DerivedTag : Tag<N> {};
struct Widget {
    virtual ~Widget() = default;
};

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

ConversionRegistry& Registry() {
    return ConversionRegistry::GetInstance();
}

IScriptContext* g_lastContext = nullptr;

/// Converts to Tag<To> marked with `Via`, so that a test can tell routines apart.
template <int To, int Via = 0>
Value ConvertToTag(const Value&, boost::shared_ptr<IScriptContext> context) {
    g_lastContext = context.get();
    Tag<To> result;
    result.via = Via;
    return Value(&result);
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

/// The wrapper routine that wrapped `value`, or 0 when the value holds no Wrapped.
int WrappedBy(const Value& value) {
    return value.GetType() == TypeOf<Wrapped>() ? GetAs<Wrapped>(value).wrapper : 0;
}

TEST(ValueConversionTest, FirstRegisteredRoutineConverts) {
    const std::size_t before = Registry().GetConversionCount();
    Register<1, 2>(&ConvertToTag<2, 1>);
    Register<1, 2>(&ConvertToTag<2, 2>);
    EXPECT_EQ(Registry().GetConversionCount(), before + 1);
    EXPECT_FALSE(Registry().HasDataConversion(TypeOf<Tag<2>>(), TypeOf<Tag<1>>()));
    Value value = MakeTag<1>();
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<2>>(), {}, value, true));
    EXPECT_EQ(GetAs<Tag<2>>(value).via, 1);
}

TEST(ValueConversionTest, ValueTargetBoxesTheValueUnlessAConversionIsRegistered) {
    const DataType valueType = TypeOf<Value>();
    Value value = MakeTag<3>();
    const void* native = value.GetValuePtr();
    EXPECT_TRUE(Registry().ConvertValue(valueType, {}, value, true));
    EXPECT_EQ(value.GetType(), valueType);
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
    // A value of the target type is searched like any other.
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<10>>(), {}, value, false));

    Value empty;
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, empty, true); }),
              L"No valid conversion from void to " + TypeOf<Tag<11>>().GetName());
    EXPECT_TRUE(empty.IsEmpty());
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
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<23>>(), context, value, true));
    EXPECT_EQ(GetAs<Tag<23>>(value).via, TypeOf<Tag<21>>() < TypeOf<Tag<22>>() ? 21 : 22);
    EXPECT_EQ(g_lastContext, context.get());

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

TEST(ConversionRegistryTest, WrapperRoutinesForExactTypesAndCategories) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<30>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<30>>(), &WrapWith<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<30>>()), &WrapWith<1>);
    // A base type's routine does not stand in for a derived type.
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<DerivedTag<30>>()), nullptr);

    // A type of a category takes the category's routine of the moment, if there is one.
    const auto other = ConversionRegistry::OtherObjectCategory;
    Registry().RegisterCategoricalObjectWrapperRoutine(other, nullptr);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<31>>(), other);
    Registry().RegisterCategoricalObjectWrapperRoutine(other, &WrapWith<1>);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<32>>(), other);
    Registry().RegisterCategoricalObjectWrapperRoutine(other, &WrapWith<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<31>>()), nullptr);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<32>>()), &WrapWith<1>);

    const auto unknown = static_cast<ConversionRegistry::ObjectCategory>(2);
    EXPECT_THROW(Registry().RegisterCategoricalObjectWrapperRoutine(unknown, &WrapWith<3>),
                 std::out_of_range);
    EXPECT_THROW(Registry().RegisterObjectTypeCategory(TypeOf<Tag<33>>(), unknown),
                 std::out_of_range);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<33>>()), nullptr);
}

TEST(ValueWrappingTest, DerivedTypesOwnWrapperWinsElseTheDeclaredOneIsCached) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<40>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<40>>(), &WrapWith<2>);
    const DerivedTag<40> object;
    Value value(static_cast<const Tag<40>*>(&object), true);
    const auto context = boost::make_shared<Testing::RecordingContext>();
    EXPECT_TRUE(Registry().WrapValue(context, value));
    const Wrapped wrapped = GetAs<Wrapped>(value);
    EXPECT_EQ(wrapped.wrapper, 2);
    EXPECT_EQ(wrapped.original.GetValuePtr(), &object);
    EXPECT_EQ(wrapped.context, context.get());

    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<41>>(), &WrapWith<3>);
    const DerivedTag<41> other;
    Value declared(static_cast<const Tag<41>*>(&other), true);
    EXPECT_TRUE(Registry().WrapValue({}, declared));
    EXPECT_EQ(WrappedBy(declared), 3);
    // The cached wrapper is the derived type's own now: a later registration does not replace it.
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<41>>(), &WrapWith<4>);
    Value derived(&other, true);
    EXPECT_TRUE(Registry().WrapValue({}, derived));
    EXPECT_EQ(WrappedBy(derived), 3);
}

TEST(ValueWrappingTest, VectorValuesUseOnlyTheArrayWrapper) {
    const auto array = boost::make_shared<EmptyTestArray>();
    const Value original(array.get());
    Registry().RegisterDataWrapperRoutine(TypeOf<EmptyTestArray>(), &WrapWith<5>);
    // No array wrapper: the array's own wrapper is not consulted, and no conversion exists.
    Value value = original;
    EXPECT_FALSE(Registry().WrapValue({}, value));
    EXPECT_EQ(value.GetValuePtr(), array.get());

    // Still no array wrapper: a conversion to a type with a wrapper is used.
    Registry().RegisterDataConversion(TypeOf<EmptyTestArray>(), TypeOf<Tag<42>>(),
                                      &ConvertToTag<42>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<42>>(), &WrapWith<6>);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 6);

    Registry().RegisterDataWrapperRoutine(TypeOf<IArray>(), &WrapWith<7>);
    value = original;
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 7);
}

TEST(ValueWrappingTest, ClassInstancesGetTheGenericWrapperOnce) {
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<Widget>(), L"WrappingTest::Widget", nullptr, L"TestModule", false));
    const Widget widget;
    const Value original(&widget, true);
    const auto slot = ConversionRegistry::ClassInstanceCategory;
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, nullptr);
    Value value = original;
    EXPECT_FALSE(Registry().WrapValue({}, value));
    EXPECT_EQ(value.GetType(), TypeOf<Widget>());

    Registry().RegisterCategoricalObjectWrapperRoutine(slot, &WrapWith<8>);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 8);
    // The routine was registered for the type: a new slot routine does not reach it.
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, &WrapWith<9>);
    value = original;
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 8);
}

TEST(ValueWrappingTest, OtherwiseAConversionToAWrappedTypeComesFirst) {
    StandardConversions::RegisterDataConversions();
    Registry().RegisterDataWrapperRoutine(TypeOf<double>(), &WrapWith<10>);
    const float number = 2.5f;
    Value value(&number);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 10);
    EXPECT_EQ(GetAs<double>(GetAs<Wrapped>(value).original), 2.5);

    // Of several targets with wrappers, the first in type order.
    Register<43, 44>();
    Register<43, 45>();
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<44>>(), &WrapWith<11>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<45>>(), &WrapWith<12>);
    Value converted = MakeTag<43>();
    EXPECT_TRUE(Registry().WrapValue({}, converted));
    EXPECT_EQ(WrappedBy(converted), TypeOf<Tag<44>>() < TypeOf<Tag<45>>() ? 11 : 12);

    // Nothing applies: empty values and unknown types stay as they are.
    Value empty;
    EXPECT_FALSE(Registry().WrapValue({}, empty));
    EXPECT_TRUE(empty.IsEmpty());
    Value unknown = MakeTag<46>();
    const void* native = unknown.GetValuePtr();
    EXPECT_FALSE(Registry().WrapValue({}, unknown));
    EXPECT_EQ(unknown.GetValuePtr(), native);
}

}  // namespace
}  // namespace VelmorandScript
