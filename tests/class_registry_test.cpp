#include "support/ClassTestHelpers.h"
#include "support/ScriptErrorText.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

struct Animal {
    virtual ~Animal() = default;
};
struct Dog : Animal {};
struct Kitten : Animal {};

ClassRegistry& Registry() {
    return ClassRegistry::GetInstance();
}

}  // namespace

TEST(ClassRegistryTest, FirstRegistrationKeepsEachKeyAndNamesAreCaseSensitive) {
    const auto first = RegisterClass<1>(L"Duplicate");
    const auto sameName = RegisterClass<2>(L"Duplicate");
    const auto sameType = RegisterClass<1>(L"DuplicateType");
    const TypeTag<1> one;
    const TypeTag<2> two;
    EXPECT_EQ(Registry().FindClassByScriptName(L"Duplicate"), first);
    EXPECT_EQ(Registry().FindClassByScriptName(L"DuplicateType"), sameType);
    EXPECT_EQ(Registry().FindClassByCppType(Value(&one)), first);
    EXPECT_EQ(Registry().FindClassByCppType(Value(&two)), sameName);
    EXPECT_FALSE(Registry().FindClassByScriptName(L"duplicate"));
}

TEST(ClassRegistryTest, TypeLookupPrefersTheDerivedTypeAndNeverWalksBases) {
    const auto animal =
        boost::make_shared<Class>(DataType(typeid(Animal)), L"Animal", nullptr, L"", false);
    const auto dog = boost::make_shared<Class>(DataType(typeid(Dog)), L"Dog", nullptr, L"", false);
    Registry().AddClass(animal);
    Registry().AddClass(dog);
    const Dog rex;
    const Kitten tom;
    EXPECT_EQ(Registry().FindClassByCppType(Value(static_cast<const Animal*>(&rex), true)), dog);
    EXPECT_EQ(Registry().FindClassByCppType(Value(static_cast<const Animal*>(&tom), true)), animal);
    EXPECT_FALSE(Registry().FindClassByCppType(Value(&tom, true)));
    EXPECT_FALSE(Registry().FindClassByCppType(Value()));
}

TEST(ClassRegistryTest, CheckClassesRunsInNameOrderAndStopsAtTheFirstFailure) {
    std::vector<std::wstring> log;
    for (const auto& added : {MakeClass<10>(L"Order::C"), MakeClass<11>(L"Order::B", L"Order::Gap"),
                              MakeClass<12>(L"Order::A")}) {
        added->AddFunction(boost::make_shared<CheckRecordingFunction>(L"F", &log));
        Registry().AddClass(added);
    }
    EXPECT_EQ(ScriptErrorText([] { Registry().CheckClasses(); }),
              L"Base class Order::Gap of class Order::B has not been defined.");
    EXPECT_EQ(log, std::vector<std::wstring>{L"Order::A.F"});
    log.clear();
    RegisterClass<13>(L"Order::Gap");
    Registry().CheckClasses();
    EXPECT_EQ(log, (std::vector<std::wstring>{L"Order::A.F", L"Order::B.F", L"Order::C.F"}));

    // A function finds its owning class only once that is registered.
    const auto function = MakeFunction(L"Speak", InstanceStyle, L"Order::Late");
    EXPECT_FALSE(function->GetOwningClass());
    const auto late = RegisterClass<14>(L"Order::Late");
    EXPECT_EQ(function->GetOwningClass(), late);
}
