#include "support/ClassTestHelpers.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

std::wstring CheckFailure() {
    try {
        ClassRegistry::GetInstance().CheckClasses();
    } catch (const ScriptException& error) {
        return error.GetExceptionMessage();
    }
    return L"<no failure>";
}

}  // namespace

// Classes are never removed, so a registered cycle stays: it gets a test program of its own.
TEST(ClassRegistryCycleTest, CyclesAreRejectedNamingTheirMembers) {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    registry.AddClass(MakeClass<1>(L"Cycle::B", L"Cycle::A"));
    registry.AddClass(MakeClass<2>(L"Cycle::A", L"Cycle::B"));
    EXPECT_EQ(CheckFailure(), L"Cycle of base classes: Cycle::A -> Cycle::B -> Cycle::A.");
    // Entering the cycle from outside names only the classes of the cycle.
    registry.AddClass(MakeClass<3>(L"Cycle::0", L"Cycle::B"));
    EXPECT_EQ(CheckFailure(), L"Cycle of base classes: Cycle::B -> Cycle::A -> Cycle::B.");
    registry.AddClass(MakeClass<4>(L"Cycle", L"Cycle"));
    EXPECT_EQ(CheckFailure(), L"Cycle of base classes: Cycle -> Cycle.");
}
