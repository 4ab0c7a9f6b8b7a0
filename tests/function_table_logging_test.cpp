#include "support/ClassTestHelpers.h"

#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

TEST(FunctionTableLoggingTest, OnlySuccessfulLookupsWriteALine) {
    ASSERT_TRUE(IsScripLoggingEnabled());
    const auto readLog = [] {
        std::ostringstream text;
        text << std::ifstream("script.log").rdbuf();
        return text.str();
    };
    const auto base = RegisterClass<1>(L"LogBase");
    const auto derived = MakeClass<2>(L"LogDerived", L"LogBase");
    base->AddFunction(MakeFunction(L"Size", PropertyGetStyle | InstanceStyle));
    const std::string before = readLog();
    EXPECT_FALSE(derived->FindFunction(L"Missing", StyleMask, nullptr));
    EXPECT_EQ(readLog(), before);
    // The line names the class whose table matched, not the class asked.
    EXPECT_TRUE(derived->FindFunction(L"Size", 0x8, nullptr));
    EXPECT_EQ(readLog(), before + "\tMatched instance | property get function LogBase::Size\n");
}
