#include <VelmorandScript/Context.h>
#include <VelmorandScript/Errors.h>

#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <Common/StringTable.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;
using VelmorandScript::Testing::TestScriptCall;

TEST(ErrorsTest, ExceptionsCarryTheirTexts) {
    EXPECT_EQ(ScriptCancelException().GetExceptionMessage(), L"The script was canceled.");
    EXPECT_EQ(ScriptException(Messages::BadCast).GetExceptionMessage(),
              L"Bad cast from type %1 to type %2.");

    try {
        throw ScriptAbortException(L"stop \u00e9");
    } catch (const Common::Exception& error) {
        EXPECT_EQ(error.GetExceptionMessage(), L"stop \u00e9");
        EXPECT_STREQ(error.what(), "stop \xc3\xa9");
    }
    EXPECT_THROW(throw ScriptCancelException(), std::exception);
    EXPECT_THROW(throw ScriptAbortException(L"x"), ScriptException);

    ScriptAbortException assigned(L"before");
    assigned = ScriptAbortException(L"after");
    EXPECT_EQ(ScriptAbortException(assigned).GetExceptionMessage(), L"after");
}

TEST(ErrorsTest, MessageTableHoldsEveryText) {
    const wchar_t* const texts[Messages::Count] = {
        L"Unknown error.",
        L"Script was canceled.",
        L"No valid conversion from %1.",
        L"No valid conversion from %1 to %2",
        L"Bad cast from empty value to type %1.",
        L"Bad cast from type %1 to type %2.",
        L"Unable to cast object from %1 to %2 - object is not of type %2, it is an unrelated "
        L"type %3.",
        L"Base class %1 of class %2 has not been defined.",
        L"Function %1 was invoked on an object of an incompatible type %2, not the expected "
        L"type %3.",
        L"Duplicate function %1 registered on class %2.",
        L"Call to non-applicable function %1.",
        L"Loss of precision in conversion from %1 to %2 (original value %3 converted to %4).",
        L"Failed to convert the string value %1 to %2.",
        L"Invalid cast of null-pointer to expected type %1.",
        L"%1 (argument #%2, calling %3).",
        L"%1 (argument %2, calling %3).",
        L"Unknown class %1.",
        L"Unhandled document type %1 - a standard VelmorandScript::IDocument is returned "
        L"instead.",
        L"String",
        L"<Class Name>",
        L"Array",
        L"The script was canceled.",
        L"The API %1::%2 has been deprecated and replaced with the non-compatible API(s) %3. "
        L"Please refer to the documentation and update your scripts to use the new API(s) "
        L"instead.",
        L"The API %1::%2 has been renamed to %1::%3, which will automatically be called until "
        L"the script is updated. Please refer to the documentation and update your scripts to "
        L"use the renamed API instead.",
        L"The API %1::%2 has been deprecated and removed. Please refer to the documentation and "
        L"update your scripts accordingly.",
        L"The API %1::%2 has been deprecated and may be removed without notice. Please refer to "
        L"the documentation and update your scripts accordingly.",
    };
    const Common::StringLoader& loader = Common::StringLoader::Instance();
    for (unsigned int index = 0; index < Messages::Count; ++index) {
        EXPECT_EQ(loader.GetString(0xED0000 + index), texts[index]) << index;
    }
    EXPECT_FALSE(loader.HasString(0xED0000 + Messages::Count));
}

TEST(ErrorsTest, StyleNamesFollowTableOrder) {
    EXPECT_EQ(GetFunctionStyleName(0), L"[empty]");
    EXPECT_EQ(GetFunctionStyleName(0x80), L"[empty]");
    EXPECT_EQ(GetFunctionStyleName(0x222), L"instance | command");
    EXPECT_EQ(GetFunctionStyleName(0x1FF),
              L"static | instance | constructor | property get | property set | command | "
              L"destructor | filter");
}

TEST(ErrorsTest, ArgumentErrorsNameTheArgument) {
    const TestScriptCall byNumber(L"Shapes::Circle", L"Resize", true);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad radius", &byNumber, 0, L"r"); }),
              L"Bad radius (argument #1, calling Resize).");
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad", &byNumber, 11, L"r"); }),
              L"Bad (argument #12, calling Resize).");
    const TestScriptCall byName(L"Shapes::Circle", L"Move", false);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad x", &byName, 0, L"x"); }),
              L"Bad x (argument x, calling Move).");
}

TEST(ErrorsTest, AddressIdsCountFirstSightings) {
    DebugLog(L"", 0, 0, false, true);  // starts the numbering afresh
    const int objects[4] = {};
    EXPECT_EQ(GetAddressId(&objects[0], false), 0u);
    EXPECT_EQ(GetAddressId(&objects[1], false), 1u);
    EXPECT_EQ(GetAddressId(&objects[0], false), 0u);
    EXPECT_EQ(GetAddressId(&objects[2], false), 2u);
    EXPECT_EQ(GetAddressId(&objects[3], true), 0u);
    EXPECT_EQ(GetAddressId(&objects[1], true), 0u);
    // A new id is the current count, so it may repeat one still held.
    EXPECT_EQ(GetAddressId(&objects[3], false), 2u);
    EXPECT_EQ(GetAddressId(&objects[2], false), 2u);
}
