#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace VelmorandScript;

namespace {

std::string ReadLog() {
    std::ifstream file("script.log", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(ScriptLogTest, LinesAreWrittenAsGiven) {
    ASSERT_STREQ(std::getenv("ENABLE_SCRIPT_LOGGING"), "") << "run through ctest";
    EXPECT_TRUE(IsScripLoggingEnabled());

    DebugLog(L"first", 0, 0, true, true);
    DebugLog(L"a %s and %d \u00fc", 3, 7, false, false);
    DebugLog(L"", 0, 0, true, false);
    DebugLog(L"last", 1, 0, true, false);
    EXPECT_EQ(ReadLog(), "first\n\t\t\ta %s and %d \xc3\xbc\n\tlast\n");

    const int objects[2] = {};
    EXPECT_EQ(GetAddressId(&objects[0], false), 0u);
    EXPECT_EQ(GetAddressId(&objects[1], false), 1u);
    DebugLog(L"again", 0, 0, true, true);
    EXPECT_EQ(ReadLog(), "again\n");
    EXPECT_EQ(GetAddressId(&objects[1], false), 0u);
}
