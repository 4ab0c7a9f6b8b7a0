#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ScriptLogReader.h"

namespace VelmorandScript {
namespace {

using Testing::ReadScriptLogLines;

template <class T>
DataType TypeOf() {
    return DataType(typeid(T));
}

class ValueConversionLoggingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StandardConversions::RegisterDataConversions(); }
    void SetUp() override {
        ASSERT_TRUE(IsScripLoggingEnabled());
        Testing::RestartScriptLog();
    }

    static ConversionRegistry& Registry() { return ConversionRegistry::GetInstance(); }
};

TEST_F(ValueConversionLoggingTest, EachConversionStepWritesOneLine) {
    const long number = 5;
    Value value(&number);
    const std::wstring dump = value.Dump(true);

    ASSERT_TRUE(Registry().ConvertValue(TypeOf<double>(), {}, value, true));
    EXPECT_EQ(ReadScriptLogLines(),
              std::vector<std::wstring>{L"\tConverting Value " + dump + L" from long to double"});

    // Two steps through the intermediate String: one line per step, the second from String.
    Testing::RestartScriptLog();
    Value twoSteps(&number);
    const std::wstring twoStepsDump = twoSteps.Dump(true);
    ASSERT_TRUE(Registry().ConvertValue(TypeOf<long>(), {}, twoSteps, true));
    EXPECT_EQ(ReadScriptLogLines(),
              (std::vector<std::wstring>{
                  L"\tConverting Value " + twoStepsDump + L" from long to String",
                  L"\tConverting Value " + twoStepsDump + L" from String to long"}));
}

TEST_F(ValueConversionLoggingTest, BoxingAndMissingConversionsWriteNothing) {
    const bool flag = true;
    Value value(&flag);
    EXPECT_FALSE(Registry().ConvertValue(TypeOf<std::wstring>(), {}, value, false));
    EXPECT_THROW(Registry().ConvertValue(TypeOf<double>(), {}, value, true), ScriptException);
    EXPECT_TRUE(Registry().ConvertValue(TypeOf<Value>(), {}, value, true));
    EXPECT_TRUE(ReadScriptLogLines().empty());
}

}  // namespace
}  // namespace VelmorandScript
