#include "support/TestHost.h"

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

/// A function whose Check appends "<class>.<function>" to a log, and whose Invoke insists on an
/// int object, as a module's own descriptor would.
struct TestFunction : Function {
    TestFunction(const wchar_t* name, std::vector<std::wstring>* log)
        : Function(name, L"", L"TestModule", true, InstanceStyle), log(log) {}
    void Invoke(const Value& object, std::vector<Value>&) const override {
        CheckNonNullObject(object.GetValuePtr(), object, DataType(typeid(int)));
    }
    void Check(const Class* owner, const FunctionTable*) const override {
        log->push_back(std::wstring(owner->GetScriptName()) + L"." + GetName());
    }
    std::vector<std::wstring>* log;
};

/// A descriptor that answers lookups for objects with a function of its own choosing.
struct ObjectDependentClass : Class {
    using Class::Class;
    boost::shared_ptr<IFunction> FindFunction(const std::wstring& name, long styleMask,
                                              const boost::shared_ptr<IObject>& object) override {
        return object ? forObjects : Class::FindFunction(name, styleMask, object);
    }
    boost::shared_ptr<IFunction> forObjects;
};

// A module's own kind of deprecation, with a behaviour word of its choice.
struct CustomDeprecation : DeprecatedFunction {
    explicit CustomDeprecation(int behaviour)
        : DeprecatedFunction(L"Area", L"Elsewhere", L"TestModule", StaticStyle, behaviour) {}
    std::wstring GenerateMessage(const std::wstring& className) const override {
        return DeprecatedFunction::GenerateMessage(className, Messages::DeprecatedGeneric, L"");
    }
};

}  // namespace

// The first suite: nothing in the process may have registered a class before it. The listings of
// functions and arguments are checked end to end by tests/lua/listings.lua.
TEST(ListingsTest, RegisteredClassesNeedTheArrayClassThenFollowScriptNameOrder) {
    EXPECT_EQ(ScriptErrorText([&] { Registry().GetRegisteredClasses(); }),
              L"Unknown class VelmorandScript::Array.");
    // Script names order by code unit: upper case before lower case.
    RegisterClass<60>(L"Listed::b");
    RegisterClass<61>(L"Listed::a");
    RegisterClass<62>(L"Listed::B");
    RegisterArrayClass();
    const boost::shared_ptr<const IArray> listing = Registry().GetRegisteredClasses();
    std::vector<std::wstring> names;
    for (long i = 0; i < listing->Count(); ++i) {
        const Value item = listing->Item(i);
        EXPECT_EQ(Registry().FindClassByScriptName(Read<Class>(item).GetScriptName()).get(),
                  &Read<Class>(item));
        names.push_back(Read<Class>(item).GetScriptName());
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Listed::B", L"Listed::a", L"Listed::b",
                                                L"VelmorandScript::Array"}));
    // A listing is a snapshot of the Registry().
    RegisterClass<63>(L"Listed::Late");
    EXPECT_EQ(listing->Count(), 4);
}

TEST(FunctionTableTest, LookupTakesTheLowestRequestedBitThatTheFirstFittingEntryHas) {
    const auto owner = MakeClass<1>(L"TableShape");
    const auto size = MakeFunction(L"Size", 0x8), both = MakeFunction(L"Both", 0x3);
    const auto staticRun = MakeFunction(L"Run", 0x1), instanceRun = MakeFunction(L"Run", 0x2);
    const auto command = MakeFunction(L"Value", 0x21), onWrapper = MakeFunction(L"Draw", 0x802);
    const auto move = MakeFunction(L"Move", 0x2), moveAgain = MakeFunction(L"Move", 0x6);
    for (const auto& function :
         {size, both, instanceRun, staticRun, command, onWrapper, move, moveAgain}) {
        owner->AddFunction(function);
    }
    const struct {
        const wchar_t* name;
        long mask;
        boost::shared_ptr<IFunction> expected;
    } rows[] = {{L"Size", 0x2, nullptr},  {L"size", 0x8, nullptr},    {L"Both", 0x2, both},
                {L"Run", 0x3, staticRun}, {L"Run", 0x2, instanceRun}, {L"Value", 0x20, command},
                {L"Value", 0x8, nullptr}, {L"Draw", 0x2, onWrapper},  {L"Draw", 0x800, nullptr},
                {L"Move", 0x2, moveAgain}};
    for (const auto& row : rows) {
        EXPECT_EQ(owner->FindFunction(row.name, row.mask, nullptr), row.expected)
            << row.name << " mask " << row.mask;
    }
    // An equivalent key replaces the function but keeps the first key.
    FunctionMap all;
    owner->GetAllFunctions(all);
    EXPECT_EQ(all.size(), 7u);
    EXPECT_EQ(all.find(FunctionKey(L"Move", 0x6))->first, FunctionKey(L"Move", 0x2));

    std::vector<Value> arguments;
    EXPECT_EQ(ScriptErrorText([&] {
                  TestFunction(L"Twice", nullptr)
                      .Invoke(Value(static_cast<const long*>(nullptr), true), arguments);
              }),
              L"Function Twice was invoked on an object of an incompatible type long, not the "
              L"expected type int.");
}

TEST(ClassTest, BaseChainIsSearchedInMaskOrderAndKeepsOutermostDescriptors) {
    const auto root = RegisterClass<2>(L"ChainRoot", L"");
    const auto middle = RegisterClass<3>(L"ChainMiddle", L"ChainRoot");
    const auto leaf = MakeClass<4>(L"ChainLeaf", L"ChainMiddle");
    const auto rootRun = MakeFunction(L"Run", 0x2), rootStop = MakeFunction(L"Stop", 0x2);
    const auto middleRun = MakeFunction(L"Run", 0x2), leafRun = MakeFunction(L"Run", 0x1);
    root->AddFunction(rootRun);
    root->AddFunction(rootStop);
    middle->AddFunction(middleRun);
    leaf->AddFunction(leafRun);
    leaf->AddFunction(MakeFunction(L"Size", PropertyGetStyle));
    EXPECT_EQ(leaf->FindFunction(L"Run", 0x2, nullptr), middleRun);
    EXPECT_EQ(leaf->FindFunction(L"Run", 0x3, nullptr), leafRun);
    EXPECT_EQ(leaf->FindFunction(L"Stop", 0x2, nullptr), rootStop);
    // Entries already present, and the outermost of a redefined function, are kept.
    const auto callerSize = MakeFunction(L"Size", PropertyGetStyle);
    FunctionMap all{{FunctionKey(L"Size", PropertyGetStyle), callerSize}};
    leaf->GetAllFunctions(all);
    EXPECT_EQ(all, (FunctionMap{{FunctionKey(L"Run", 0x2), rootRun},
                                {FunctionKey(L"Run", 0x1), leafRun},
                                {FunctionKey(L"Size", PropertyGetStyle), callerSize},
                                {FunctionKey(L"Stop", 0x2), rootStop}}));

    // What a base found (rootStop above) is remembered only until a function is added anywhere.
    const auto middleStop = MakeFunction(L"Stop", 0x2), leafStop = MakeFunction(L"Stop", 0x2);
    middle->AddFunction(middleStop);
    EXPECT_EQ(leaf->FindFunction(L"Stop", 0x2, nullptr), middleStop);
    leaf->AddFunction(leafStop);
    EXPECT_EQ(leaf->FindFunction(L"Stop", 0x2, nullptr), leafStop);

    // Nor is anything remembered through a descriptor whose lookup depends on the object.
    const auto dependent = boost::make_shared<ObjectDependentClass>(
        DataType(typeid(TypeTag<40>)), L"DependentBase", nullptr, L"TestModule", false);
    Registry().AddClass(dependent);
    const auto plain = MakeClass<41>(L"OnDependentBase", L"DependentBase");
    const auto general = MakeFunction(L"Act", 0x2);
    dependent->AddFunction(general);
    dependent->forObjects = MakeFunction(L"Act", 0x2);
    EXPECT_EQ(plain->FindFunction(L"Act", 0x2, nullptr), general);
    EXPECT_EQ(plain->FindFunction(L"Act", 0x2, dependent->CreateWrapper(Value())),
              dependent->forObjects);

    // An unregistered base fails only when the own table has no match, and until it is added.
    const auto base = MakeClass<5>(L"LateBase");
    const auto derived = MakeClass<6>(L"LateDerived", L"LateBase");
    derived->AddFunction(MakeFunction(L"Own", InstanceStyle));
    base->AddFunction(MakeFunction(L"Inherited", InstanceStyle));
    EXPECT_TRUE(derived->FindFunction(L"Own", 0x2, nullptr));
    EXPECT_EQ(ScriptErrorText([&] { derived->FindFunction(L"Inherited", 0x2, nullptr); }),
              L"Base class LateBase of class LateDerived has not been defined.");
    Registry().AddClass(base);
    EXPECT_TRUE(derived->FindFunction(L"Inherited", 0x2, nullptr));
}

TEST(ClassRegistryTest, FirstRegistrationWinsTypesFindOwnClassChecksRunInNameOrder) {
    const auto first = RegisterClass<10>(L"Duplicate");
    const auto sameName = RegisterClass<11>(L"Duplicate");
    const auto sameType = RegisterClass<10>(L"DuplicateType");
    EXPECT_EQ(Registry().FindClassByScriptName(L"Duplicate"), first);
    EXPECT_EQ(Registry().FindClassByScriptName(L"DuplicateType"), sameType);
    EXPECT_EQ(Registry().FindClassByCppType(Make(TypeTag<10>())), first);
    EXPECT_EQ(Registry().FindClassByCppType(Make(TypeTag<11>())), sameName);
    EXPECT_FALSE(Registry().FindClassByScriptName(L"duplicate"));

    // The derived type is looked up first, then the declared one; bases are never walked.
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

    // CheckClasses runs in name order and stops at the first failure.
    static std::vector<std::wstring> log;  // the registered functions outlive the test
    for (const auto& added : {MakeClass<20>(L"Order::C"), MakeClass<21>(L"Order::B", L"Order::Gap"),
                              MakeClass<22>(L"Order::A")}) {
        added->AddFunction(boost::make_shared<TestFunction>(L"F", &log));
        Registry().AddClass(added);
    }
    EXPECT_EQ(ScriptErrorText([] { Registry().CheckClasses(); }),
              L"Base class Order::Gap of class Order::B has not been defined.");
    EXPECT_EQ(log, std::vector<std::wstring>{L"Order::A.F"});
    log.clear();
    RegisterClass<23>(L"Order::Gap");
    Registry().CheckClasses();
    EXPECT_EQ(log, (std::vector<std::wstring>{L"Order::A.F", L"Order::B.F", L"Order::C.F"}));
    // A function finds its owning class only once that is registered.
    const auto function = MakeFunction(L"Speak", InstanceStyle, L"Order::Late");
    EXPECT_FALSE(function->GetOwningClass());
    EXPECT_EQ(function->GetOwningClass(), RegisterClass<24>(L"Order::Late"));
}

TEST(ClassTest, InheritedLookupSeesABaseAssignedOver) {
    const auto base = RegisterClass<70>(L"AssignedBase");
    const auto derived = RegisterClass<71>(L"AssignedDerived", L"AssignedBase");
    const auto replacement = MakeClass<70>(L"AssignedBase");
    const auto before = MakeFunction(L"Act", InstanceStyle);
    const auto after = MakeFunction(L"Act", InstanceStyle);
    base->AddFunction(before);
    replacement->AddFunction(after);  // before the lookups: an addition forgets them too
    // The first lookup resolves the base, the second remembers what the base found.
    ASSERT_EQ(derived->FindFunction(L"Act", InstanceStyle, nullptr), before);
    ASSERT_EQ(derived->FindFunction(L"Act", InstanceStyle, nullptr), before);
    *base = *replacement;
    EXPECT_EQ(derived->FindFunction(L"Act", InstanceStyle, nullptr), after);
}

TEST(ClassTest, RememberedMissesAreForgottenWhenTheNameAppears) {
    const auto root = RegisterClass<80>(L"MissRoot");
    const auto middle = RegisterClass<81>(L"MissMiddle", L"MissRoot");
    const auto leaf = RegisterClass<82>(L"MissLeaf", L"MissMiddle");
    // Each lookup twice: the first resolves the bases, the second answers from what was
    // remembered.
    const auto lookTwice = [&](const wchar_t* name) {
        const auto first = leaf->FindFunction(name, InstanceStyle, nullptr);
        EXPECT_EQ(leaf->FindFunction(name, InstanceStyle, nullptr), first) << name;
        return first;
    };
    EXPECT_FALSE(lookTwice(L"Later"));
    EXPECT_FALSE(middle->FindFunction(L"Later", InstanceStyle, nullptr));
    const auto later = MakeFunction(L"Later", InstanceStyle);
    root->AddFunction(later);
    EXPECT_EQ(lookTwice(L"Later"), later);
    EXPECT_EQ(middle->FindFunction(L"Later", InstanceStyle, nullptr), later);

    // Past the limit of remembered misses, misses are looked up in full and stay right.
    std::vector<std::wstring> made;
    for (int i = 0; i < 1100; ++i) {
        made.push_back(L"Made" + std::to_wstring(i));
        EXPECT_FALSE(lookTwice(made.back().c_str()));
    }
    const auto madeFirst = MakeFunction(made.front().c_str(), InstanceStyle);
    root->AddFunction(madeFirst);
    EXPECT_EQ(lookTwice(made.front().c_str()), madeFirst);
    EXPECT_FALSE(lookTwice(made.back().c_str()));

    // A base assigned over by a class that has the name forgets the miss too.
    const auto replacement = MakeClass<80>(L"MissRoot");
    const auto assigned = MakeFunction(L"Assigned", InstanceStyle);
    replacement->AddFunction(assigned);  // before the lookups: an addition forgets them too
    EXPECT_FALSE(lookTwice(L"Assigned"));
    *root = *replacement;
    EXPECT_EQ(lookTwice(L"Assigned"), assigned);
}

TEST(ClassRegistryTest, ScriptNamesOrderByUnsignedCodeUnit) {
    // 0x80000000 is negative as a (signed) wchar_t, so a signed order puts it before "a".
    static const std::wstring high = L"Unsigned::" + std::wstring(1, wchar_t(0x80000000u));
    RegisterClass<72>(high.c_str());
    RegisterClass<73>(L"Unsigned::a");
    RegisterClass<74>(L"Unsigned::\x7fffffff");
    std::vector<std::wstring> names;
    for (const auto& entry : Registry().GetClasses()) {
        if (entry.first.compare(0, 10, L"Unsigned::") == 0) {
            names.push_back(entry.first);
        }
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Unsigned::a", L"Unsigned::\x7fffffff", high}));
    EXPECT_TRUE(Registry().FindClassByScriptName(high));
}

TEST(DeprecatedFunctionTest, BehaviourWordChoosesTheOutcomeAndRenamedChecksFindTheNewName) {
    const std::wstring generic =
        DeprecatedFunction::GenerateGenericDeprecationMessage(L"Shape", L"Area");
    EXPECT_EQ(generic,
              L"The API Shape::Area has been deprecated and may be removed without notice. Please "
              L"refer to the documentation and update your scripts accordingly.");
    const DeprecatedRenamedFunction renamed(L"Old", L"Elsewhere", L"M", 0x2, L"New");
    const DeprecatedReplacedFunction replaced(L"Old", L"", L"M", 0x1, L"NewA, NewB");
    const DeprecatedRemovedFunction removed(L"Gone", L"", L"M", 0x1, L"Unused");
    const CustomDeprecation passes(1), ignored(0), alsoIgnored(3), raisesGeneric(0x14);
    const struct {
        const DeprecatedFunction& function;
        std::wstring outcome;  // what PreInvoke returned, or the text it raised
    } rows[] = {
        {passes, L"true"},
        {ignored, L"false"},
        {alsoIgnored, L"false"},
        {renamed, L"false"},
        {raisesGeneric, generic},
        {replaced,
         L"The API Shape::Old has been deprecated and replaced with the non-compatible API(s) "
         L"NewA, NewB. Please refer to the documentation and update your scripts to use the new "
         L"API(s) instead."},
        {removed,
         L"The API Shape::Gone has been deprecated and removed. Please refer to the "
         L"documentation and update your scripts accordingly."}};
    const auto context = boost::make_shared<RecordingContext>();
    for (const auto& row : rows) {
        boost::shared_ptr<IFunction> reference;
        std::wstring outcome;
        const std::wstring raised = ScriptErrorText([&] {
            outcome = row.function.PreInvoke(context, L"Shape", reference) ? L"true" : L"false";
        });
        EXPECT_EQ(outcome.empty() ? raised : outcome, row.outcome) << row.function.GetBehaviour();
        EXPECT_FALSE(reference);
    }
    // Only the renamed function warned the script.
    ASSERT_EQ(context->notices.size(), 1u);
    EXPECT_EQ(context->types[0], WarningEvent);
    EXPECT_EQ(context->notices[0],
              L"The API Shape::Old has been renamed to Shape::New, which will automatically be "
              L"called until the script is updated. Please refer to the documentation and update "
              L"your scripts to use the renamed API instead.");
    context->throwOnNotify = std::make_exception_ptr(ScriptAbortException(L"stop"));
    boost::shared_ptr<IFunction> reference;
    EXPECT_THROW(renamed.PreInvoke(context, L"Shape", reference), ScriptAbortException);

    // The check of a renamed function looks for the new name in the chain.
    const auto base = RegisterClass<50>(L"DeprecationBase");
    const auto shape = RegisterClass<51>(L"DeprecationShape", L"DeprecationBase");
    shape->AddFunction(
        boost::make_shared<DeprecatedRenamedFunction>(L"Old", L"", L"M", 0x2, L"New"));
    EXPECT_EQ(ScriptErrorText([] { Registry().CheckClasses(); }),
              L"Non-existing replacement function New for deprecated function Old on class "
              L"DeprecationShape.");
    base->AddFunction(MakeFunction(L"New", PropertySetStyle));
    Registry().CheckClasses();
    // Without a new name the check fails too, with a placeholder for the name.
    EXPECT_NE(ScriptErrorText([&] {
                  DeprecatedRenamedFunction(L"Older", L"", L"M", 0x2, nullptr)
                      .Check(shape.get(), nullptr);
              }).find(L"for deprecated function Older on class DeprecationShape."),
              std::wstring::npos);
}

// Classes are never removed, so a registered cycle stays: this suite must come last.
TEST(ClassCycleTest, CyclesAreRejectedNamingTheirMembers) {
    const auto checkFailure = [] { return ScriptErrorText([] { Registry().CheckClasses(); }); };
    Registry().AddClass(MakeClass<30>(L"Cycle::B", L"Cycle::A"));
    Registry().AddClass(MakeClass<31>(L"Cycle::A", L"Cycle::B"));
    EXPECT_EQ(checkFailure(), L"Cycle of base classes: Cycle::A -> Cycle::B -> Cycle::A.");
    // Entering the cycle from outside names only the classes of the cycle.
    Registry().AddClass(MakeClass<32>(L"Cycle::0", L"Cycle::B"));
    EXPECT_EQ(checkFailure(), L"Cycle of base classes: Cycle::B -> Cycle::A -> Cycle::B.");
    Registry().AddClass(MakeClass<33>(L"Cycle", L"Cycle"));
    EXPECT_EQ(checkFailure(), L"Cycle of base classes: Cycle -> Cycle.");
}
