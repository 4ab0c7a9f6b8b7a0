#include "support/ClassTestHelpers.h"

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

struct Animal {
    virtual ~Animal() = default;
};
struct Dog : Animal {};
struct Cat : Animal {};
struct Kitten : Cat {};

ClassRegistry& Registry() {
    return ClassRegistry::GetInstance();
}

}  // namespace

TEST(ClassRegistryTest, FirstRegistrationKeepsEachKey) {
    const auto first = MakeClass<1>(L"Duplicate");
    const auto sameName = MakeClass<2>(L"Duplicate");
    const auto sameType = MakeClass<1>(L"DuplicateType");
    for (const auto& added : {first, sameName, sameType}) {
        Registry().AddClass(added);
    }
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
    EXPECT_FALSE(Registry().FindClassByCppType(Value(static_cast<const Cat*>(&tom), true)));
    EXPECT_FALSE(Registry().FindClassByCppType(Value()));
}

TEST(ClassRegistryTest, CheckClassesRunsInNameOrderAndStopsAtTheFirstFailure) {
    std::vector<std::wstring> log;
    const auto addChecked = [&log](boost::shared_ptr<Class> added) {
        added->AddFunction(boost::make_shared<CheckRecordingFunction>(L"F", &log));
        Registry().AddClass(added);
    };
    addChecked(MakeClass<10>(L"Order::C"));
    addChecked(MakeClass<11>(L"Order::B", L"Order::Missing"));
    addChecked(MakeClass<12>(L"Order::A"));
    try {
        Registry().CheckClasses();
        FAIL() << "an unregistered base passed the check";
    } catch (const ScriptException& error) {
        EXPECT_EQ(error.GetExceptionMessage(),
                  L"Base class Order::Missing of class Order::B has not been defined.");
    }
    EXPECT_EQ(log, std::vector<std::wstring>{L"Order::A.F"});

    log.clear();
    Registry().AddClass(MakeClass<13>(L"Order::Missing"));
    Registry().CheckClasses();
    EXPECT_EQ(log, (std::vector<std::wstring>{L"Order::A.F", L"Order::B.F", L"Order::C.F"}));
}

TEST(ClassRegistryTest, OwningClassIsLookedUpOnEveryCall) {
    const auto function = MakeFunction(L"Speak", InstanceStyle, L"Parrot");
    EXPECT_FALSE(function->GetOwningClass());
    const auto parrot = MakeClass<20>(L"Parrot");
    Registry().AddClass(parrot);
    EXPECT_EQ(function->GetOwningClass(), parrot);
}
