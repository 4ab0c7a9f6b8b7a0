#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace VelmorandScript;

TEST(ScriptLogOffTest, SwitchIsReadOnceAndNothingIsWritten) {
    unsetenv("ENABLE_SCRIPT_LOGGING");
    EXPECT_FALSE(IsScripLoggingEnabled());
    setenv("ENABLE_SCRIPT_LOGGING", "1", 1);
    EXPECT_FALSE(IsScripLoggingEnabled());

    StandardConversions::RegisterDataConversions();
    const long number = 5;
    Value value(&number);
    EXPECT_TRUE(
        ConversionRegistry::GetInstance().ConvertValue(DataType(typeid(double)), {}, value, true));
    EXPECT_FALSE(std::ifstream("script.log").good());
}
