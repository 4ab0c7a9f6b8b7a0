// A copy of the conversion registry converts with its own tables, whatever the registry it was
// copied from has converted before or become since.

#include <VelmorandScript/Conversion.h>

#include <gtest/gtest.h>

#include <memory>

namespace VelmorandScript {
namespace {

TEST(ConversionRegistryCopyTest, ACopyConvertsWithItsOwnEntries) {
    StandardConversions::RegisterDataConversions();
    const DataType doubleType(typeid(double));
    const long number = 7;

    auto original = std::make_unique<ConversionRegistry>(ConversionRegistry::GetInstance());
    Value first(&number);
    ASSERT_TRUE(original->ConvertValue(doubleType, {}, first, true));
    const ConversionRegistry copy(*original);
    // The tables the original's remembered lookups point into are gone; the sanitizer build
    // catches a copy that still uses them.
    original.reset();

    Value converted(&number);
    ASSERT_TRUE(copy.ConvertValue(doubleType, {}, converted, true));
    EXPECT_TRUE(converted.GetType() == doubleType);
    EXPECT_EQ(GetAs<double>(converted), 7.0);
}

}  // namespace
}  // namespace VelmorandScript
