#include "support/ClassTestHelpers.h"
#include "support/ScriptErrorText.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

// Classes are never removed, so a registered cycle stays: it gets a test program of its own.
TEST(ClassRegistryCycleTest, CyclesAreRejectedNamingTheirMembers) {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    const auto checkFailure = [&registry] {
        return ScriptErrorText([&] { registry.CheckClasses(); });
    };
    registry.AddClass(MakeClass<1>(L"Cycle::B", L"Cycle::A"));
    registry.AddClass(MakeClass<2>(L"Cycle::A", L"Cycle::B"));
    EXPECT_EQ(checkFailure(), L"Cycle of base classes: Cycle::A -> Cycle::B -> Cycle::A.");
    // Entering the cycle from outside names only the classes of the cycle.
    registry.AddClass(MakeClass<3>(L"Cycle::0", L"Cycle::B"));
    EXPECT_EQ(checkFailure(), L"Cycle of base classes: Cycle::B -> Cycle::A -> Cycle::B.");
    registry.AddClass(MakeClass<4>(L"Cycle", L"Cycle"));
    EXPECT_EQ(checkFailure(), L"Cycle of base classes: Cycle -> Cycle.");
}
