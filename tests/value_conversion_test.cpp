#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace VelmorandScript {
namespace {

using namespace Testing;

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
    return Make(result);
}

template <int From, int To>
void Register(ConversionRoutine routine = &ConvertToTag<To>) {
    Registry().RegisterDataConversion(TypeOf<Tag<From>>(), TypeOf<Tag<To>>(), routine);
}

TEST(ValueConversionTest, FirstRegisteredRoutineConvertsAndValueTargetsBox) {
    const std::size_t before = Registry().GetConversionCount();
    Register<1, 2>(&ConvertToTag<2, 1>);
    Register<1, 2>(&ConvertToTag<2, 2>);
    EXPECT_EQ(Registry().GetConversionCount(), before + 1);
    EXPECT_FALSE(Registry().HasDataConversion(TypeOf<Tag<2>>(), TypeOf<Tag<1>>()));
    Value value = Make(Tag<1>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<2>>(), {}, value, true));
    EXPECT_EQ(Read<Tag<2>>(value).via, 1);

    // Value as the target boxes the value, unless a conversion to it is registered.
    Value boxed = Make(Tag<3>());
    const void* native = boxed.GetValuePtr();
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Value>(), {}, boxed, true));
    EXPECT_EQ(Read<Value>(boxed).GetValuePtr(), native);
    Registry().RegisterDataConversion(TypeOf<Tag<4>>(), TypeOf<Value>(), &ConvertToTag<5>);
    Value registered = Make(Tag<4>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Value>(), {}, registered, true));
    EXPECT_EQ(registered.GetType(), TypeOf<Tag<5>>());
}

TEST(ValueConversionTest, MissingConversionThrowsOrReportsFalseAndKeepsTheValue) {
    Value value = Make(Tag<10>());
    const void* native = value.GetValuePtr();
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<11>>(), {}, value, false));
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, value, true); }),
              L"No valid conversion from " + TypeOf<Tag<10>>().GetName() + L" to " +
                  TypeOf<Tag<11>>().GetName());
    EXPECT_EQ(value.GetValuePtr(), native);
    Value empty;
    EXPECT_EQ(ScriptErrorText([&] { Registry().ConvertValue(TypeOf<Tag<11>>(), {}, empty, true); }),
              L"No valid conversion from void to " + TypeOf<Tag<11>>().GetName());
}

TEST(ValueConversionTest, TwoStepsThroughTheFirstQualifyingIntermediateTypeOnly) {
    // Tag<21> and Tag<22> both lead from Tag<20> to Tag<23>.
    Register<20, 21>();
    Register<21, 23>(&ConvertToTag<23, 21>);
    Register<20, 22>();
    Register<22, 23>(&ConvertToTag<23, 22>);
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<21>>());
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<22>>());
    const auto context = TestScriptContext::Create();
    Value value = Make(Tag<20>());
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Tag<23>>(), context, value, true));
    EXPECT_EQ(Read<Tag<23>>(value).via, TypeOf<Tag<21>>() < TypeOf<Tag<22>>() ? 21 : 22);
    EXPECT_EQ(g_lastContext, context.get());

    // Intermediate types are not chained: 23 -> 21 -> 22 -> 24 needs two of them.
    Register<23, 21>();
    Register<21, 22>();
    Register<22, 24>();
    Value chained = Make(Tag<23>());
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<Tag<24>>(), {}, chained, false));
}

TEST(ConversionRegistryTest, WrapperRoutinesForExactTypesAndCategories) {
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<30>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<30>>(), &WrapWith<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<30>>()), &WrapWith<1>);
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
}

TEST(ValueWrappingTest, TheWrapperIsChosenByDerivedTypeDeclaredTypeClassOrConversion) {
    // The derived type's own wrapper wins; else the declared type's, cached for the derived type
    // so that a later registration for it does not take over.
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<40>>(), &WrapWith<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<40>>(), &WrapWith<2>);
    const DerivedTag<40> object;
    Value value(static_cast<const Tag<40>*>(&object), true);
    const auto context = TestScriptContext::Create();
    EXPECT_TRUE(Registry().WrapValue(context, value));
    EXPECT_EQ(WrappedBy(value), 2);
    EXPECT_EQ(Read<Wrapped>(value).original.GetValuePtr(), &object);
    EXPECT_EQ(Read<Wrapped>(value).context, context.get());
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<41>>(), &WrapWith<3>);
    const DerivedTag<41> other;
    Value declared(static_cast<const Tag<41>*>(&other), true);
    EXPECT_TRUE(Registry().WrapValue({}, declared));
    Registry().RegisterDataWrapperRoutine(TypeOf<DerivedTag<41>>(), &WrapWith<4>);
    Value derived(&other, true);
    EXPECT_TRUE(Registry().WrapValue({}, derived));
    EXPECT_EQ(WrappedBy(declared) * 10 + WrappedBy(derived), 33);

    // Instances of a registered class get the generic routine of the moment, cached for the type.
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf<Widget>(), L"WrappingTest::Widget", nullptr, L"TestModule", false));
    const Widget widget;
    const auto slot = ConversionRegistry::ClassInstanceCategory;
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, nullptr);
    Value instance(&widget, true);
    EXPECT_FALSE(Registry().WrapValue({}, instance));
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, &WrapWith<8>);
    EXPECT_TRUE(Registry().WrapValue({}, instance));
    Registry().RegisterCategoricalObjectWrapperRoutine(slot, &WrapWith<9>);
    instance = Value(&widget, true);
    EXPECT_TRUE(Registry().WrapValue({}, instance));
    EXPECT_EQ(WrappedBy(instance), 8);

    // Otherwise a conversion to a type with a wrapper, the first in type order.
    Register<43, 44>();
    Register<43, 45>();
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<44>>(), &WrapWith<11>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<45>>(), &WrapWith<12>);
    Value converted = Make(Tag<43>());
    EXPECT_TRUE(Registry().WrapValue({}, converted));
    EXPECT_EQ(WrappedBy(converted), TypeOf<Tag<44>>() < TypeOf<Tag<45>>() ? 11 : 12);
    Value unknown = Make(Tag<46>());
    const void* native = unknown.GetValuePtr();
    EXPECT_FALSE(Registry().WrapValue({}, unknown));
    EXPECT_EQ(unknown.GetValuePtr(), native);
}

TEST(ValueWrappingTest, VectorValuesUseOnlyTheArrayWrapper) {
    const auto array = MakeEmptyArray();
    const Value original(static_cast<const IArray*>(array.get()));
    Registry().RegisterDataWrapperRoutine(TypeOf<Array>(), &WrapWith<5>);
    Value value = original;
    EXPECT_FALSE(Registry().WrapValue({}, value));
    // Still no array wrapper: a conversion to a type with a wrapper is used.
    Registry().RegisterDataConversion(TypeOf<Array>(), TypeOf<Tag<42>>(), &ConvertToTag<42>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<42>>(), &WrapWith<6>);
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 6);
    Registry().RegisterDataWrapperRoutine(TypeOf<IArray>(), &WrapWith<7>);
    value = original;
    EXPECT_TRUE(Registry().WrapValue({}, value));
    EXPECT_EQ(WrappedBy(value), 7);
}

TEST(ConversionRegistryTest, ACopyConvertsWithItsOwnTables) {
    StandardConversions::RegisterDataConversions();
    const DataType doubleType(typeid(double));
    const long number = 7;
    auto original = std::make_unique<ConversionRegistry>(ConversionRegistry::GetInstance());
    Value first(&number);
    ASSERT_TRUE(original->ConvertValue(doubleType, {}, first, true));
    const ConversionRegistry copy(*original);
    // The sanitizer build catches a copy still using the lookups the original remembered.
    original.reset();
    Value converted(&number);
    ASSERT_TRUE(copy.ConvertValue(doubleType, {}, converted, true));
    EXPECT_EQ(Read<double>(converted), 7.0);
}

}  // namespace
}  // namespace VelmorandScript
