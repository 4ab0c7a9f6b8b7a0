#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace VelmorandScript {
namespace {

// The registry is process-wide: every test uses types of its own.
template <int N>
struct Tag {};
struct PolymorphicBase {
    virtual ~PolymorphicBase() = default;
};
struct PolymorphicDerived : PolymorphicBase {};

/// A routine that answers with its own number, so a test can tell routines apart.
template <int N>
Value Answer(const Value&, boost::shared_ptr<IScriptContext>) {
    const int answer = N;
    return Value(&answer);
}

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

ConversionRegistry& Registry() {
    return ConversionRegistry::GetInstance();
}

/// The number of the routine that converts a Tag<From> to a Tag<To>.
template <int From, int To>
int ConvertedBy() {
    const Tag<From> source;
    Value value(&source);
    Registry().ConvertValue(TypeOf<Tag<To>>(), {}, value, true);
    return GetAs<int>(value);
}

TEST(ConversionRegistryTest, RegistrationsAreFirstWinsAndLookupsExact) {
    EXPECT_EQ(&Registry(), &ConversionRegistry::GetInstance());
    const std::size_t before = Registry().GetConversionCount();

    Registry().RegisterDataConversion(TypeOf<Tag<1>>(), TypeOf<Tag<2>>(), &Answer<1>);
    Registry().RegisterDataConversion(TypeOf<Tag<1>>(), TypeOf<Tag<2>>(), &Answer<2>);
    EXPECT_EQ(Registry().GetConversionCount(), before + 1);
    EXPECT_EQ((ConvertedBy<1, 2>()), 1);
    EXPECT_FALSE(Registry().HasDataConversion(TypeOf<Tag<2>>(), TypeOf<Tag<1>>()));
    Registry().RegisterDataConversion(TypeOf<Tag<3>>(), TypeOf<Tag<3>>(), &Answer<3>);
    EXPECT_EQ((ConvertedBy<3, 3>()), 3);

    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<10>>(), &Answer<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<10>>(), &Answer<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<10>>()), &Answer<1>);
    // A null routine takes its key like any other.
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<11>>(), nullptr);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<11>>(), &Answer<2>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<11>>()), nullptr);

    // Neither a base nor a derived type stands in for the type asked for.
    Registry().RegisterDataWrapperRoutine(TypeOf<PolymorphicBase>(), &Answer<3>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<PolymorphicDerived>()), nullptr);
    Registry().RegisterDataWrapperRoutine(TypeOf<PolymorphicDerived>(), &Answer<4>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<PolymorphicBase>()), &Answer<3>);
}

TEST(ConversionRegistryTest, ObjectTypeCategoryCopiesTheSlotAsItIsNow) {
    const ConversionRegistry::ObjectCategory category = ConversionRegistry::OtherObjectCategory;
    Registry().RegisterCategoricalObjectWrapperRoutine(category, nullptr);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<20>>(), category);
    Registry().RegisterCategoricalObjectWrapperRoutine(category, &Answer<1>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<20>>()), nullptr)
        << "the category is not remembered for a type registered while the slot was empty";

    Registry().RegisterObjectTypeCategory(TypeOf<Tag<21>>(), category);
    Registry().RegisterCategoricalObjectWrapperRoutine(category, &Answer<2>);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<22>>(), category);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<21>>()), &Answer<1>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<22>>()), &Answer<2>);

    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<23>>(), &Answer<3>);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<23>>(), category);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<23>>()), &Answer<3>);

    // The slots are independent.
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       &Answer<4>);
    Registry().RegisterObjectTypeCategory(TypeOf<Tag<24>>(), category);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<24>>()), &Answer<2>);
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                       nullptr);
}

TEST(ConversionRegistryTest, UnknownCategoryIsRejectedWithoutChangingAnything) {
    const auto unknown = static_cast<ConversionRegistry::ObjectCategory>(2);
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::OtherObjectCategory,
                                                       &Answer<1>);
    EXPECT_THROW(Registry().RegisterCategoricalObjectWrapperRoutine(unknown, &Answer<2>),
                 std::out_of_range);
    try {
        Registry().RegisterObjectTypeCategory(TypeOf<Tag<30>>(), unknown);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_NE(std::string(error.what()).find("category 2"), std::string::npos) << error.what();
    }
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<30>>()), nullptr);

    Registry().RegisterObjectTypeCategory(TypeOf<Tag<31>>(),
                                          ConversionRegistry::OtherObjectCategory);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<31>>()), &Answer<1>);
}

TEST(ConversionRegistryTest, CopyHasTheSameTablesAndIsIndependent) {
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<40>>());
    Registry().RegisterIntermediateConversionDataType(TypeOf<Tag<40>>());
    EXPECT_TRUE(Registry().IsIntermediateConversionDataType(TypeOf<Tag<40>>()));
    EXPECT_FALSE(Registry().IsIntermediateConversionDataType(TypeOf<Tag<41>>()));
    Registry().RegisterDataConversion(TypeOf<Tag<42>>(), TypeOf<Tag<43>>(), &Answer<1>);
    Registry().RegisterDataWrapperRoutine(TypeOf<Tag<44>>(), &Answer<2>);
    Registry().RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::OtherObjectCategory,
                                                       &Answer<3>);

    ConversionRegistry copy(Registry());
    EXPECT_EQ(copy.GetConversionCount(), Registry().GetConversionCount());
    EXPECT_TRUE(copy.HasDataConversion(TypeOf<Tag<42>>(), TypeOf<Tag<43>>()));
    EXPECT_TRUE(copy.IsIntermediateConversionDataType(TypeOf<Tag<40>>()));
    EXPECT_EQ(copy.GetWrapperRoutine(TypeOf<Tag<44>>()), &Answer<2>);
    copy.RegisterObjectTypeCategory(TypeOf<Tag<45>>(), ConversionRegistry::OtherObjectCategory);
    EXPECT_EQ(copy.GetWrapperRoutine(TypeOf<Tag<45>>()), &Answer<3>);
    EXPECT_EQ(Registry().GetWrapperRoutine(TypeOf<Tag<45>>()), nullptr);
}

}  // namespace
}  // namespace VelmorandScript
