#include "support/ClassTestHelpers.h"
#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

typedef std::vector<std::wstring> Names;

Names NamesOf(const IArray& listing, const std::function<const wchar_t*(const Value&)>& name) {
    Names names;
    for (long i = 0; i < listing.Count(); ++i) {
        names.push_back(name(listing.Item(i)));
    }
    return names;
}

}  // namespace

// Must run first: nothing in the process may have registered "VelmorandScript::Array" yet.
TEST(ListingsTest, RegisteredClassesNeedTheArrayClassThenFollowScriptNameOrder) {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    ASSERT_FALSE(registry.FindClassByScriptName(L"VelmorandScript::Array"));
    EXPECT_EQ(ScriptErrorText([&] { registry.GetRegisteredClasses(); }),
              L"Unknown class VelmorandScript::Array.");
    // Script names order by code unit: upper case before lower case.
    RegisterClass<1>(L"Listed::b");
    RegisterClass<2>(L"Listed::a");
    RegisterClass<3>(L"Listed::B");
    RegisterArrayClass();

    const boost::shared_ptr<const IArray> listing = registry.GetRegisteredClasses();
    const Names names = NamesOf(*listing, [&registry](const Value& item) {
        const Class* listed = CastTo<Class>(&item, true);
        EXPECT_TRUE(item.IsInsideSmartPointer());
        EXPECT_EQ(registry.FindClassByScriptName(listed->GetScriptName()).get(), listed);
        return listed->GetScriptName();
    });
    EXPECT_EQ(names, (Names{L"Listed::B", L"Listed::a", L"Listed::b", L"VelmorandScript::Array"}));
    // A listing is a snapshot of the registry.
    RegisterClass<4>(L"Listed::Late");
    EXPECT_EQ(listing->Count(), 4);
    EXPECT_EQ(registry.GetRegisteredClasses()->Count(), 5);
}

TEST(ListingsTest, FunctionListingsAreSnapshotsInKeyOrderWithoutVoidResults) {
    RegisterArrayClass();
    const auto base = RegisterClass<5>(L"Listed::Base");
    const auto derived = MakeClass<6>(L"Listed::Derived", L"Listed::Base");
    const auto resize = MakeFunction(L"Resize", 0x2);
    base->AddFunction(MakeFunction(L"Stop", 0x2));
    base->AddFunction(MakeFunction(L"Run", 0x2));
    derived->AddFunction(MakeFunction(L"Area", 0x2));
    derived->AddFunction(resize);
    derived->AddFunction(MakeFunction(L"Run", 0x1));

    const auto functions = derived->GetClassFunctions();
    derived->AddFunction(MakeFunction(L"Zoom", 0x2));
    EXPECT_EQ(NamesOf(*functions,
                      [](const Value& item) {
                          EXPECT_EQ(item.GetType(), DataType(typeid(IFunction)));
                          return CastTo<IFunction>(&item, true)->GetName();
                      }),
              (Names{L"Area", L"Resize", L"Run", L"Run", L"Stop"}));

    const struct {
        const wchar_t* scriptType;
        const wchar_t* name;
        long style;
    } arguments[] = {
        {L"int", L"width", 0x1},
        {L"Void", L"result", 0x4},
        {L"int", L"height", 0x8},
        // Kept: another return type, "void" outside a return value, no script type.
        {L"int", L"old", 0x4},
        {L"VOID", L"input", 0x1},
        {nullptr, L"untyped", 0x4},
    };
    for (const auto& argument : arguments) {
        resize->AddArgument(Argument(DataType(typeid(int)), argument.scriptType, argument.name,
                                     argument.style, Value(), nullptr));
    }
    EXPECT_EQ(NamesOf(*resize->GetFunctionArguments(),
                      [](const Value& item) { return CastTo<Argument>(&item, true)->GetName(); }),
              (Names{L"width", L"height", L"old", L"input", L"untyped"}));
}
