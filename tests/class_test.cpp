#include "support/ClassTestHelpers.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

boost::shared_ptr<IFunction> Find(const boost::shared_ptr<Class>& owner, const wchar_t* name,
                                  long mask) {
    return owner->FindFunction(name, mask, boost::shared_ptr<IObject>());
}

}  // namespace

TEST(ClassTest, OwnFunctionsHideTheBaseWhenAnyRequestedBitMatches) {
    const auto base = MakeClass<1>(L"HideBase", L"");
    const auto derived = MakeClass<2>(L"HideDerived", L"HideBase");
    ClassRegistry::GetInstance().AddClass(base);
    const auto baseRun = MakeFunction(L"Run", InstanceStyle);
    const auto derivedRun = MakeFunction(L"Run", StaticStyle);
    base->AddFunction(baseRun);
    derived->AddFunction(derivedRun);
    EXPECT_EQ(Find(derived, L"Run", 0x2), baseRun);
    EXPECT_EQ(Find(derived, L"Run", 0x1), derivedRun);
    EXPECT_EQ(Find(derived, L"Run", 0x3), derivedRun);
    EXPECT_EQ(Find(base, L"Run", 0x3), baseRun);
    EXPECT_FALSE(Find(derived, L"Walk", StyleMask));
    EXPECT_FALSE(base->GetScriptBase());
}

TEST(ClassTest, UnregisteredBaseFailsUntilItIsRegistered) {
    const auto base = MakeClass<3>(L"LateBase");
    const auto derived = MakeClass<4>(L"LateDerived", L"LateBase");
    const auto own = MakeFunction(L"Own", InstanceStyle);
    derived->AddFunction(own);
    base->AddFunction(MakeFunction(L"Inherited", InstanceStyle));
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            derived->GetScriptBase();
            FAIL() << "an unregistered base was accepted";
        } catch (const ScriptException& error) {
            EXPECT_EQ(error.GetExceptionMessage(),
                      L"Base class LateBase of class LateDerived has not been defined.");
        }
    }
    // The base is consulted only when the own table has no match.
    EXPECT_EQ(Find(derived, L"Own", 0x2), own);
    EXPECT_THROW(Find(derived, L"Inherited", 0x2), ScriptException);

    ClassRegistry::GetInstance().AddClass(base);
    EXPECT_EQ(derived->GetScriptBase(), base);
    EXPECT_TRUE(Find(derived, L"Inherited", 0x2));
}

TEST(ClassTest, AllFunctionsKeepTheOutermostDescriptor) {
    const auto root = MakeClass<5>(L"AllRoot");
    const auto middle = MakeClass<6>(L"AllMiddle", L"AllRoot");
    const auto leaf = MakeClass<7>(L"AllLeaf", L"AllMiddle");
    ClassRegistry::GetInstance().AddClass(root);
    ClassRegistry::GetInstance().AddClass(middle);
    const auto rootRun = MakeFunction(L"Run", InstanceStyle);
    const auto leafOnly = MakeFunction(L"Only", StaticStyle);
    const auto callerSize = MakeFunction(L"Size", PropertyGetStyle);
    root->AddFunction(rootRun);
    middle->AddFunction(MakeFunction(L"Run", InstanceStyle));
    leaf->AddFunction(MakeFunction(L"Run", InstanceStyle | StaticStyle));
    leaf->AddFunction(leafOnly);
    leaf->AddFunction(MakeFunction(L"Size", PropertyGetStyle));

    FunctionMap all{{FunctionKey(L"Size", PropertyGetStyle), callerSize}};
    leaf->GetAllFunctions(all);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all.at(FunctionKey(L"Run", InstanceStyle)), rootRun);
    EXPECT_EQ(all.at(FunctionKey(L"Only", StaticStyle)), leafOnly);
    EXPECT_EQ(all.at(FunctionKey(L"Size", PropertyGetStyle)), callerSize);
}

TEST(ClassTest, CopiesShareTheFunctionTable) {
    const auto original = MakeClass<8>(L"Shared");
    const auto copy = boost::make_shared<Class>(*original);
    const auto first = MakeFunction(L"First", InstanceStyle);
    const auto second = MakeFunction(L"Second", InstanceStyle);
    original->AddFunction(first);
    copy->AddFunction(second);
    EXPECT_EQ(Find(copy, L"First", 0x2), first);
    EXPECT_EQ(Find(original, L"Second", 0x2), second);
    EXPECT_EQ(copy->shared_from_this(), copy);
}
