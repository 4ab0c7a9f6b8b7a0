#include "support/ClassTestHelpers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

std::string ReadLog() {
    std::ifstream file("script.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(FunctionTableLoggingTest, OnlySuccessfulLookupsWriteALine) {
    ASSERT_TRUE(IsScripLoggingEnabled());
    const auto base = MakeClass<1>(L"LogBase");
    const auto derived = MakeClass<2>(L"LogDerived", L"LogBase");
    ClassRegistry::GetInstance().AddClass(base);
    base->AddFunction(MakeFunction(L"Size", PropertyGetStyle | InstanceStyle));

    const std::string before = ReadLog();
    EXPECT_FALSE(derived->FindFunction(L"Missing", StyleMask, boost::shared_ptr<IObject>()));
    EXPECT_EQ(ReadLog(), before);
    // The line names the class whose table matched, not the class asked.
    EXPECT_TRUE(derived->FindFunction(L"Size", 0x8, boost::shared_ptr<IObject>()));
    EXPECT_EQ(ReadLog(), before + "\tMatched instance | property get function LogBase::Size\n");
}
