#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace VelmorandScript;
using VelmorandScript::Testing::ScriptErrorText;
using VelmorandScript::Testing::TestScriptCall;

TEST(ErrorsTest, ExceptionsStyleNamesAndArgumentErrors) {
    EXPECT_EQ(ScriptCancelException().GetExceptionMessage(), L"The script was canceled.");
    const ScriptAbortException abort(L"stop \u00e9");
    EXPECT_STREQ(abort.what(), "stop \xc3\xa9");
    EXPECT_THROW(throw abort, ScriptException);

    EXPECT_EQ(GetFunctionStyleName(0x80), L"[empty]");
    EXPECT_EQ(GetFunctionStyleName(0x1FF),
              L"static | instance | constructor | property get | property set | command | "
              L"destructor | filter");

    const TestScriptCall byNumber(L"Resize", true);
    EXPECT_EQ(ScriptErrorText([&] { GenerateArgumentError(L"Bad", &byNumber, 11, L"r"); }),
              L"Bad (argument #12, calling Resize).");
    const TestScriptCall byName(L"Move", false);
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
