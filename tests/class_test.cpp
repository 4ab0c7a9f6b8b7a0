#include "support/ClassTestHelpers.h"
#include "support/ScriptErrorText.h"

#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

TEST(ClassTest, BaseChainIsSearchedInMaskOrderAndKeepsOutermostDescriptors) {
    const auto root = RegisterClass<1>(L"ChainRoot", L"");
    const auto middle = RegisterClass<2>(L"ChainMiddle", L"ChainRoot");
    const auto leaf = MakeClass<3>(L"ChainLeaf", L"ChainMiddle");
    const auto rootRun = MakeFunction(L"Run", 0x2), rootStop = MakeFunction(L"Stop", 0x2);
    const auto middleRun = MakeFunction(L"Run", 0x2), leafRun = MakeFunction(L"Run", 0x1);
    root->AddFunction(rootRun);
    root->AddFunction(rootStop);
    middle->AddFunction(middleRun);
    leaf->AddFunction(leafRun);
    leaf->AddFunction(MakeFunction(L"Size", PropertyGetStyle));
    EXPECT_FALSE(root->GetScriptBase());

    const struct {
        boost::shared_ptr<Class> owner;
        const wchar_t* name;
        long mask;
        boost::shared_ptr<IFunction> expected;
    } rows[] = {
        {leaf, L"Run", 0x2, middleRun},      {leaf, L"Run", 0x1, leafRun},
        {leaf, L"Run", 0x3, leafRun},        {middle, L"Run", 0x3, middleRun},
        {root, L"Run", 0x3, rootRun},        {leaf, L"Stop", 0x2, rootStop},
        {leaf, L"Walk", StyleMask, nullptr},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.owner->FindFunction(row.name, row.mask, nullptr), row.expected)
            << row.owner->GetScriptName() << "." << row.name << " mask " << row.mask;
    }
    // Entries already present, and the outermost of a redefined function, are kept.
    const auto callerSize = MakeFunction(L"Size", PropertyGetStyle);
    FunctionMap all{{FunctionKey(L"Size", PropertyGetStyle), callerSize}};
    leaf->GetAllFunctions(all);
    EXPECT_EQ(all, (FunctionMap{{FunctionKey(L"Run", 0x2), rootRun},
                                {FunctionKey(L"Run", 0x1), leafRun},
                                {FunctionKey(L"Size", PropertyGetStyle), callerSize},
                                {FunctionKey(L"Stop", 0x2), rootStop}}));
}

TEST(ClassTest, UnregisteredBaseFailsUntilItIsRegistered) {
    const auto base = MakeClass<4>(L"LateBase");
    const auto derived = MakeClass<5>(L"LateDerived", L"LateBase");
    derived->AddFunction(MakeFunction(L"Own", InstanceStyle));
    base->AddFunction(MakeFunction(L"Inherited", InstanceStyle));
    EXPECT_EQ(ScriptErrorText([&] { derived->GetScriptBase(); }),
              L"Base class LateBase of class LateDerived has not been defined.");
    // The base is consulted only when the own table has no match.
    EXPECT_TRUE(derived->FindFunction(L"Own", 0x2, nullptr));
    EXPECT_THROW(derived->FindFunction(L"Inherited", 0x2, nullptr), ScriptException);
    ClassRegistry::GetInstance().AddClass(base);
    EXPECT_TRUE(derived->FindFunction(L"Inherited", 0x2, nullptr));
}

TEST(ClassTest, CopiesShareTheFunctionTable) {
    const auto original = MakeClass<6>(L"Shared");
    const auto copy = boost::make_shared<Class>(*original);
    original->AddFunction(MakeFunction(L"First", InstanceStyle));
    copy->AddFunction(MakeFunction(L"Second", InstanceStyle));
    EXPECT_TRUE(copy->FindFunction(L"First", 0x2, nullptr));
    EXPECT_TRUE(original->FindFunction(L"Second", 0x2, nullptr));
}
