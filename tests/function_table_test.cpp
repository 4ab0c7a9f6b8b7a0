#include "support/ClassTestHelpers.h"
#include "support/ScriptErrorText.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

TEST(FunctionTableTest, LookupTakesTheLowestRequestedBitThatTheFirstFittingEntryHas) {
    // A class without a base answers from its own table alone.
    const auto owner = MakeClass<1>(L"TableShape");
    const auto size = MakeFunction(L"Size", 0x8), both = MakeFunction(L"Both", 0x3);
    const auto staticRun = MakeFunction(L"Run", 0x1), instanceRun = MakeFunction(L"Run", 0x2);
    const auto get = MakeFunction(L"Value", 0x8), command = MakeFunction(L"Value", 0x21);
    const auto onWrapper = MakeFunction(L"Draw", 0x802), any = MakeFunction(L"Any", StyleMask);
    const auto move = MakeFunction(L"Move", 0x2), moveAgain = MakeFunction(L"Move", 0x6);
    for (const auto& function :
         {size, both, instanceRun, staticRun, command, get, onWrapper, any, move, moveAgain}) {
        owner->AddFunction(function);
    }
    EXPECT_EQ(onWrapper->GetStyle(), 0x2);
    EXPECT_TRUE(onWrapper->IsImplementedOnWrapper());

    const struct {
        const wchar_t* name;
        long mask;
        boost::shared_ptr<IFunction> expected;
    } rows[] = {
        {L"Size", 0x8, size},      {L"Size", 0x2, nullptr},    {L"size", 0x8, nullptr},
        {L"Both", 0x1, both},      {L"Both", 0x2, both},       {L"Both", 0x3, both},
        {L"Run", 0x3, staticRun},  {L"Run", 0x2, instanceRun}, {L"Value", 0x20, command},
        {L"Value", 0x8, get},      {L"Value", 0x1, nullptr},   {L"Draw", 0x2, onWrapper},
        {L"Draw", 0x800, nullptr}, {L"Any", 0x400, any},       {L"Any", 0, nullptr},
        {L"Move", 0x2, moveAgain},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(owner->FindFunction(row.name, row.mask, nullptr), row.expected)
            << row.name << " mask " << row.mask;
    }
    // An equivalent key replaces the function but keeps the first key.
    FunctionMap all;
    owner->GetAllFunctions(all);
    EXPECT_EQ(all.size(), 9u);
    const auto moved = all.find(FunctionKey(L"Move", 0x6));
    ASSERT_TRUE(moved != all.end());
    EXPECT_EQ(moved->first, FunctionKey(L"Move", 0x2));
}

TEST(FunctionTest, InvokeOnANullObjectNamesBothTypes) {
    // A descriptor that insists on an int object, as a module's own descriptor would.
    struct IntFunction : Function {
        IntFunction() : Function(L"Twice", L"", L"TestModule", true, InstanceStyle) {}
        void Invoke(const Value& object, std::vector<Value>&) const override {
            CheckNonNullObject(object.GetValuePtr(), object, DataType(typeid(int)));
        }
    };
    std::vector<Value> arguments;
    EXPECT_NO_THROW(IntFunction().Invoke(Value(&arguments), arguments));
    EXPECT_EQ(ScriptErrorText([&] {
                  IntFunction().Invoke(Value(static_cast<const long*>(nullptr), true), arguments);
              }),
              L"Function Twice was invoked on an object of an incompatible type long, not the "
              L"expected type int.");
}
