// The listings of functions and arguments are checked end to end by tests/lua/listings.lua.

#include "support/TestHost.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

// Nothing in the process may have registered "VelmorandScript::Array" before this test.
TEST(ListingsTest, RegisteredClassesNeedTheArrayClassThenFollowScriptNameOrder) {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    EXPECT_EQ(ScriptErrorText([&] { registry.GetRegisteredClasses(); }),
              L"Unknown class VelmorandScript::Array.");
    // Script names order by code unit: upper case before lower case.
    RegisterClass<1>(L"Listed::b");
    RegisterClass<2>(L"Listed::a");
    RegisterClass<3>(L"Listed::B");
    RegisterArrayClass();
    const boost::shared_ptr<const IArray> listing = registry.GetRegisteredClasses();
    std::vector<std::wstring> names;
    for (long i = 0; i < listing->Count(); ++i) {
        const Value item = listing->Item(i);
        EXPECT_EQ(registry.FindClassByScriptName(Read<Class>(item).GetScriptName()).get(),
                  &Read<Class>(item));
        names.push_back(Read<Class>(item).GetScriptName());
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Listed::B", L"Listed::a", L"Listed::b",
                                                L"VelmorandScript::Array"}));
    // A listing is a snapshot of the registry.
    RegisterClass<4>(L"Listed::Late");
    EXPECT_EQ(listing->Count(), 4);
}
