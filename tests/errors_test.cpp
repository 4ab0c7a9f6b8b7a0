#include <VelmorandScript/Context.h>
#include <VelmorandScript/Errors.h>

#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <Common/StringTable.h>

#include <gtest/gtest.h>

#include <tuple>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;
using VelmorandScript::Testing::TestScriptCall;

TEST(ErrorsTest, ExceptionsCarryTheirTexts) {
    EXPECT_EQ(ScriptCancelException().GetExceptionMessage(), L"The script was canceled.");
    EXPECT_EQ(ScriptException(Messages::BadCast).GetExceptionMessage(),
              L"Bad cast from type %1 to type %2.");
    const ScriptAbortException abort(L"stop \u00e9");
    EXPECT_STREQ(abort.what(), "stop \xc3\xa9");
    EXPECT_THROW(throw abort, ScriptException);
}

// The other texts are checked word for word where the tests raise them.
TEST(ErrorsTest, MessageTableHoldsTheRemainingTexts) {
    const std::pair<unsigned int, const wchar_t*> texts[] = {
        {0x00, L"Unknown error."},
        {0x01, L"Script was canceled."},
        {0x02, L"No valid conversion from %1."},
        {0x07, L"Base class %1 of class %2 has not been defined."},
        {0x08,
         L"Function %1 was invoked on an object of an incompatible type %2, not the "
         L"expected type %3."},
        {0x09, L"Duplicate function %1 registered on class %2."},
        {0x0A, L"Call to non-applicable function %1."},
        {0x10, L"Unknown class %1."},
        {0x11,
         L"Unhandled document type %1 - a standard VelmorandScript::IDocument is returned "
         L"instead."},
        {0x13, L"<Class Name>"},
        {0x14, L"Array"}};
    const Common::StringLoader& loader = Common::StringLoader::Instance();
    for (const auto& [index, text] : texts) {
        EXPECT_EQ(loader.GetString(0xED0000 + index), text) << index;
    }
    EXPECT_TRUE(loader.HasString(0xED0000 + Messages::Count - 1));
    EXPECT_FALSE(loader.HasString(0xED0000 + Messages::Count));
}

TEST(ErrorsTest, StyleNamesAndArgumentErrors) {
    EXPECT_EQ(GetFunctionStyleName(0), L"[empty]");
    EXPECT_EQ(GetFunctionStyleName(0x80), L"[empty]");
    EXPECT_EQ(GetFunctionStyleName(0x222), L"instance | command");
    EXPECT_EQ(GetFunctionStyleName(0x1FF),
              L"static | instance | constructor | property get | property set | command | "
              L"destructor | filter");

    const TestScriptCall byNumber(L"Shapes::Circle", L"Resize", true);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad", &byNumber, 11, L"r"); }),
              L"Bad (argument #12, calling Resize).");
    const TestScriptCall byName(L"Shapes::Circle", L"Move", false);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad x", &byName, 0, L"x"); }),
              L"Bad x (argument x, calling Move).");
}

TEST(ErrorsTest, AddressIdsCountFirstSightings) {
    DebugLog(L"", 0, 0, false, true);  // starts the numbering afresh
    const int objects[4] = {};
    // {address, remove, id}: removing answers 0; a new id is the current count, so it may
    // repeat one still held.
    const std::tuple<int, bool, unsigned int> steps[] = {
        {0, false, 0}, {1, false, 1}, {0, false, 0}, {2, false, 2},
        {3, true, 0},  {1, true, 0},  {3, false, 2}, {2, false, 2}};
    for (const auto& [index, remove, id] : steps) {
        EXPECT_EQ(GetAddressId(&objects[index], remove), id) << index;
    }
}
