#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

#include <cstdlib>

TEST(ScriptLogOffTest, SwitchIsReadOnce) {
    unsetenv("ENABLE_SCRIPT_LOGGING");
    EXPECT_FALSE(VelmorandScript::IsScripLoggingEnabled());
    setenv("ENABLE_SCRIPT_LOGGING", "1", 1);
    EXPECT_FALSE(VelmorandScript::IsScripLoggingEnabled());
}
