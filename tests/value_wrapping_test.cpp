#include <VelmorandScript/Classes.h>
#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Objects.h>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "support/RecordingContext.h"
#include "support/ScriptErrorText.h"
#include "support/WrapperRoutines.h"

namespace VelmorandScript {
namespace {

using Testing::EmptyTestArray;
using Testing::Wrapped;
using Testing::WrapWith;

// The registry is process-wide: every test uses types of its own.
template <int N>
struct Tag {
    virtual ~Tag() = default;
};
template <int N>
struct DerivedTag : Tag<N> {};

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

ConversionRegistry& Registry() {
    return ConversionRegistry::GetInstance();
}

/// The wrapper routine that wrapped `value`, or 0 when the value holds no Wrapped.
int WrappedBy(const Value& value) {
    return value.GetType() == TypeOf<Wrapped>() ? GetAs<Wrapped>(value).wrapper : 0;
}

template <class Converted>
Value ConvertTo(const Value&, boost::shared_ptr<IScriptContext>) {
    const Converted converted;
    return Value(&converted);
}

Value ThrowingWrapper(const Value&, boost::shared_ptr<IScriptContext>) {
    throw ScriptException(L"wrapper failed");
}

TEST(ValueWrappingTest, DerivedTypeWrapperWinsOverTheDeclaredOne) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<1>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<1>>(), &WrapWith<2>);
    const DerivedTag<1> object;
    Value value(static_cast<const Tag<1>*>(&object), true);
    const auto context = boost::make_shared<Testing::RecordingContext>();

    EXPECT_TRUE(Registry().WrapValue(context, value));
    const Wrapped wrapped = GetAs<Wrapped>(value);
    EXPECT_EQ(wrapped.wrapper, 2);
    EXPECT_EQ(wrapped.original.GetValuePtr(), &object);
    EXPECT_EQ(wrapped.context, context.get());
}

TEST(ValueWrappingTest, DeclaredTypeWrapperIsCachedForTheDerivedType) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<2>>(), &WrapWith<3>);
    const DerivedTag<2> object;
    Value value(static_cast<const Tag<2>*>(&object), true);

    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 3);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<DerivedTag<2>>()), &WrapWith<3>);

    // From now on the derived type has its wrapper; a later registration does not replace it.
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<2>>(), &WrapWith<4>);
    Value derived(&object, true);
    EXPECT_TRUE(Registry().WrapValue({}, derived));
    EXPECT_EQ(WrappedBy(derived), 3);
}

TEST(ValueWrappingTest, VectorValuesUseOnlyTheArrayWrapper) {
    const auto array = boost::make_shared<EmptyTestArray>();
    const Value original(array.get());
    ASSERT_TRUE(original.IsVector());
    Registry().RegisterDataWrapperRoutine(TypeOf<EmptyTestArray>(), &WrapWith<5>);

    // No array wrapper: the array's own wrapper is not consulted, and no conversion exists.
    Value value = original;
    EXPECT_FALSE(Registry().WrapValue({}, value));
    EXPECT_EQ(value.GetValuePtr(), array.get());
    EXPECT_EQ(value.GetType(), TypeOf<EmptyTestArray>());

    // Still no array wrapper: a conversion to a type with a wrapper is used.
    Registry().RegisterDataConversion(TypeOf<EmptyTestArray>(), TypeOf<Tag<3>>(),
                                      &ConvertTo<Tag<3>>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<3>>(), &WrapWith<6>);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 6);

    Registry().RegisterDataWrapperRoutine(TypeOf<IArray>(), &WrapWith<7>);
    value = original;
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 7);
}

struct Widget {
    virtual ~Widget() = default;
};

TEST(ValueWrappingTest, ClassInstancesGetTheGenericWrapperOnce) {
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<Widget>(), L"WrappingTest::Widget", nullptr, L"TestModule", false));
    const Widget widget;
    const Value original(&widget, true);

    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       nullptr);
    Value value = original;
    EXPECT_FALSE(Registry().WrapValue({}, value));
    EXPECT_EQ(value.GetType(), TypeOf<Widget>());
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Widget>()), nullptr);

    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       &WrapWith<8>);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 8);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Widget>()), &WrapWith<8>);

    // The routine was registered for the type: a new slot routine does not reach it.
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       &WrapWith<9>);
    value = original;
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 8);
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       nullptr);
}

TEST(ValueWrappingTest, NumberConvertedToTheTypeThatHasAWrapper) {
    StandardConversions::RegisterDataConversions();
    Registry().RegisterDataWrapperRoutine(TypeOf<double>(), &WrapWith<10>);
    const float number = 2.5f;
    Value value(&number);

    EXPECT_TRUE(Registry().WrapValue({}, value));
    const Wrapped wrapped = GetAs<Wrapped>(value);
    EXPECT_EQ(wrapped.wrapper, 10);
    EXPECT_EQ(wrapped.original.GetType(), TypeOf<double>());
    EXPECT_EQ(*CastTo<double>(&wrapped.original, true), 2.5);
}

TEST(ValueWrappingTest, FirstConversionTargetInTypeOrderWins) {
    Registry().RegisterDataConversion(TypeOf<Tag<4>>(), TypeOf<Tag<5>>(), &ConvertTo<Tag<5>>);
    Registry().RegisterDataConversion(TypeOf<Tag<4>>(), TypeOf<Tag<6>>(), &ConvertTo<Tag<6>>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<5>>(), &WrapWith<11>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<6>>(), &WrapWith<12>);
    const Tag<4> source;
    Value value(&source, true);

    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), TypeOf<Tag<5>>() < TypeOf<Tag<6>>() ? 11 : 12);

    // A failing wrapper leaves the converted value behind.
    Registry().RegisterDataConversion(TypeOf<Tag<7>>(), TypeOf<Tag<8>>(), &ConvertTo<Tag<8>>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<8>>(), &ThrowingWrapper);
    const Tag<7> other;
    Value failing(&other, true);
    EXPECT_EQ(Testing::ScriptErrorText([&] { Registry().WrapValue({}, failing); }),
              L"wrapper failed");
    EXPECT_EQ(failing.GetType(), TypeOf<Tag<8>>());
}

TEST(ValueWrappingTest, ValuesWithoutAnyWrapperStayAsTheyAre) {
    Value empty;
    EXPECT_FALSE(Registry().WrapValue({}, empty));
    EXPECT_TRUE(empty.IsEmpty());

    const Tag<9> unknown;
    Value value(&unknown, true);
    EXPECT_FALSE(Registry().WrapValue({}, value));
    EXPECT_EQ(value.GetValuePtr(), &unknown);
}

}  // namespace
}  // namespace VelmorandScript
