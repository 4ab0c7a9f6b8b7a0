// Registrations, conversions, wrapping, notices, listings and callbacks run with each of their
// allocations failing in turn (the sanitizer build checks that nothing leaks).

#include "support/TestHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <new>
#include <tuple>

namespace VelmorandScript {
namespace Testing {

// From FailingAllocator.cpp, which replaces the global allocation functions.
void ArmAllocationFailure(std::size_t failingAllocation);
bool DisarmAllocationFailure();

namespace {

/// Runs `operation` with its 1st, 2nd, 3rd ... allocation failing until it completes; each failure
/// must come out as std::bad_alloc, after which `check(n)` verifies that the state is as it was.
/// Returns the number of allocations of the completed run.
std::size_t SweepAllocationFailures(const std::function<void()>& operation,
                                    const std::function<void(std::size_t)>& check = nullptr) {
    const bool failedBefore = ::testing::Test::HasFailure();
    for (std::size_t n = 1; n < 100000; ++n) {
        bool threwBadAlloc = false;
        ArmAllocationFailure(n);
        try {
            operation();
        } catch (const std::bad_alloc&) {
            threwBadAlloc = true;
        }
        const bool injected = DisarmAllocationFailure();
        if (!injected || !threwBadAlloc) {
            EXPECT_EQ(threwBadAlloc, injected)
                << "a bad_alloc must come with an injected failure, n=" << n;
            return n - 1;
        }
        if (check) {
            check(n);
        }
        if (!failedBefore && ::testing::Test::HasFailure()) {
            ADD_FAILURE() << "state after the failure of allocation " << n << " is wrong";
            return n;
        }
    }
    ADD_FAILURE() << "the operation never completed";
    return 0;
}

struct Gadget {
    int size;
};
struct Widget {
    std::wstring label;
};
struct Base {
    virtual ~Base() = default;
};
struct Derived : Base {};
/// Native text that converts to String, so that it reaches long in two steps.
struct Label {
    std::wstring text;
};

template <class T>
boost::shared_ptr<Class> RobustClass(const wchar_t* name) {
    return boost::make_shared<Class>(TypeOf<T>(), name, nullptr, L"Robustness", false);
}

boost::shared_ptr<IFunction> GadgetFunction(const wchar_t* name, long style) {
    auto function = boost::make_shared<NativeFunction>(
        name, L"Robust::Gadget", L"Robustness", false, style,
        [](const Value&, std::vector<Value>& arguments) { arguments.clear(); });
    function->AddArgument(Argument(TypeOf<long>(), L"long", L"count", InputArgument, Value(), L""));
    return function;
}

/// What the registries answer about the types of the tests, and the functions of one class.
typedef std::tuple<std::size_t, std::vector<bool>, std::vector<ConversionRoutine>,
                   std::map<std::wstring, const Class*>, std::vector<const Class*>, FunctionMap>
    Snapshot;

Snapshot Take(const Class* owner = nullptr) {
    static const std::vector<DataType> types{TypeOf<long>(),         TypeOf<float>(),
                                             TypeOf<std::wstring>(), TypeOf<Gadget>(),
                                             TypeOf<Widget>(),       TypeOf<Derived>()};
    const ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    const ClassRegistry& classes = ClassRegistry::GetInstance();
    Snapshot snapshot;
    auto& [count, flags, wrappers, classesByName, lookups, functions] = snapshot;
    count = conversions.GetConversionCount();
    for (const DataType& from : types) {
        for (const DataType& to : types) {
            flags.push_back(conversions.HasDataConversion(from, to));
        }
        flags.push_back(conversions.IsIntermediateConversionDataType(from));
        wrappers.push_back(conversions.GetWrapperRoutine(from));
    }
    for (const auto& entry : classes.GetClasses()) {
        classesByName.emplace(entry.first, entry.second.get());
    }
    lookups = {classes.FindClassByCppType(Make(Gadget{1})).get(),
               classes.FindClassByCppType(Make(Widget{L"w"})).get(),
               classes.FindClassByScriptName(L"Robust::Other").get()};
    if (owner != nullptr) {
        owner->GetAllFunctions(functions);
    }
    return snapshot;
}

// Routines that allocate, so that failures also strike inside them.
Value GadgetToWidget(const Value& source, boost::shared_ptr<IScriptContext>) {
    return Make(Widget{std::wstring(static_cast<std::size_t>(Read<Gadget>(source).size), L'g')});
}
Value LabelToString(const Value& source, boost::shared_ptr<IScriptContext>) {
    return Value(boost::make_shared<std::wstring>(Read<Label>(source).text));
}
Value WrapAsText(const Value& source, boost::shared_ptr<IScriptContext>) {
    return Make(L"wrapped " + source.GetTypeName());
}

TEST(AllocationFailure, TheInjectedFailureReachesAllocationsAndTheRegistriesAreRetried) {
    // Under valgrind (its own operator new) nothing would be injected.
    EXPECT_EQ(SweepAllocationFailures([] {
                  const auto number = std::make_unique<int>(1);
                  asm volatile("" : : "g"(number.get()) : "memory");  // keeps the allocation
              }),
              1u);
    SweepAllocationFailures([] { ConversionRegistry::GetInstance(); });
    SweepAllocationFailures([] { ClassRegistry::GetInstance(); });
    EXPECT_EQ(&ClassRegistry::GetInstance(), &ClassRegistry::GetInstance());
    EXPECT_EQ(ConversionRegistry::GetInstance().GetConversionCount(), 0u);
}

TEST(AllocationFailure, RegistrationsLeaveTheRegistriesAsTheyWere) {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    ClassRegistry& classes = ClassRegistry::GetInstance();
    conversions.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::OtherObjectCategory,
                                                        &WrapAsText);
    const auto gadget = RobustClass<Gadget>(L"Robust::Gadget");
    gadget->AddFunction(GadgetFunction(L"Size", PropertyGetStyle));
    gadget->AddFunction(GadgetFunction(L"Grow", InstanceStyle));

    // Each row must change what the snapshot sees.
    const std::vector<std::pair<const char*, std::function<void()>>> rows{
        {"conversion",
         [&] {
             conversions.RegisterDataConversion(TypeOf<Gadget>(), TypeOf<Widget>(),
                                                &GadgetToWidget);
         }},
        {"intermediate",
         [&] { conversions.RegisterIntermediateConversionDataType(TypeOf<Widget>()); }},
        {"wrapper", [&] { conversions.RegisterDataWrapperRoutine(TypeOf<Widget>(), &WrapAsText); }},
        {"category",
         [&] {
             conversions.RegisterObjectTypeCategory(TypeOf<Gadget>(),
                                                    ConversionRegistry::OtherObjectCategory);
         }},
        {"new function", [&] { gadget->AddFunction(GadgetFunction(L"Shrink", InstanceStyle)); }},
        {"replaced function", [&] { gadget->AddFunction(GadgetFunction(L"Grow", InstanceStyle)); }},
        {"class", [&] { classes.AddClass(gadget); }},
        {"taken name", [&] { classes.AddClass(RobustClass<Widget>(L"Robust::Gadget")); }},
        {"taken type", [&] { classes.AddClass(RobustClass<Gadget>(L"Robust::Other")); }},
    };
    for (const auto& row : rows) {
        const Snapshot before = Take(gadget.get());
        SweepAllocationFailures(row.second, [&](std::size_t failure) {
            EXPECT_TRUE(Take(gadget.get()) == before) << row.first << ", after failure " << failure;
        });
        EXPECT_FALSE(Take(gadget.get()) == before) << row.first << " changed nothing";
    }
    EXPECT_EQ(classes.GetClasses().size(), 2u);
}

TEST(AllocationFailure, ConvertingWrappingAndNoticesLeaveTheValueAsItWas) {
    StandardConversions::RegisterDataConversions();
    WrapUnchanged<long, std::wstring>();  // for the handler's arguments
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataConversion(TypeOf<Label>(), TypeOf<std::wstring>(), &LabelToString);
    registry.RegisterDataConversion(TypeOf<Gadget>(), TypeOf<Widget>(), &GadgetToWidget);
    for (const std::type_info* type : {&typeid(Widget), &typeid(Base), &typeid(IArray)}) {
        registry.RegisterDataWrapperRoutine(DataType(*type), &WrapAsText);
    }
    registry.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                     &WrapAsText);
    ClassRegistry::GetInstance().AddClass(RobustClass<Label>(L"Robust::Label"));
    const auto context = TestScriptContext::Create();
    context->PushScriptCall(boost::make_shared<TestScriptCall>(L"Convert"));
    context->SetEventHandler([](const std::vector<Value>&, std::vector<Value>&) { return true; });

    const long big = 123456789;
    const std::wstring notANumber = L"seven";
    const Label label{L"77"};
    const Derived derived;
    const Base* asBase = &derived;
    const auto array = MakeEmptyArray();
    const DataType wrap = TypeOf<void>();
    struct Row {
        const char* what;
        Value source;
        DataType target;  // void: wrapped
        bool throws;
        const std::type_info& intermediate;  // what a failed second step may leave
    };
    const Row rows[] = {
        {"precision notice", Value(&big), TypeOf<float>(), false, typeid(void)},
        {"boxing", Value(&big), TypeOf<Value>(), false, typeid(void)},
        {"no path", Value(&big), TypeOf<Gadget>(), true, typeid(void)},
        {"failed parse", Value(&notANumber, true), TypeOf<double>(), true, typeid(void)},
        {"two steps", Value(&label), TypeOf<long>(), false, typeid(std::wstring)},
        {"own wrapper", Make(Widget{L"w"}), wrap, false, typeid(void)},
        {"declared type's wrapper", Value(asBase, true), wrap, false, typeid(void)},
        {"converted, then wrapped", Make(Gadget{3}), wrap, false, typeid(Widget)},
        {"class instance", Value(&label), wrap, false, typeid(void)},
        {"array", Value(static_cast<const IArray*>(array.get())), wrap, false, typeid(void)}};
    for (const Row& row : rows) {
        Value value = row.source;
        // Wrapping may cache the chosen routine for the derived type before the routine runs;
        // that entry is the only change a failure may leave behind.
        const ConversionRoutine cachedBefore =
            registry.GetWrapperRoutine(row.source.GetDerivedType());
        const Snapshot before = Take();
        SweepAllocationFailures(
            [&] {
                try {
                    if (row.target == wrap) {
                        EXPECT_TRUE(registry.WrapValue(context, value));
                    } else {
                        registry.ConvertValue(row.target, context, value, true);
                    }
                } catch (const ScriptException&) {
                    EXPECT_TRUE(row.throws) << row.what << ": unexpected script error";
                }
            },
            [&](std::size_t failure) {
                SCOPED_TRACE(std::string(row.what) + ", failure " + std::to_string(failure));
                if (value.GetType() != row.source.GetType()) {
                    EXPECT_TRUE(value.GetType() == DataType(row.intermediate));
                    value = row.source;
                }
                EXPECT_EQ(value.GetValuePtr(), row.source.GetValuePtr());
                EXPECT_TRUE(value.GetDerivedType() == row.source.GetDerivedType());
                EXPECT_EQ(value.IsConst(), row.source.IsConst());
                const ConversionRoutine cached =
                    registry.GetWrapperRoutine(row.source.GetDerivedType());
                EXPECT_TRUE(cached == cachedBefore || cached == &WrapAsText);
                EXPECT_TRUE(row.target == wrap || Take() == before);
                EXPECT_EQ(context->GetScriptCall()->GetCalledFunctionName(), L"Convert");
            });
        const DataType expected = row.target == wrap ? TypeOf<std::wstring>() : row.target;
        EXPECT_TRUE(value.GetType() == (row.throws ? row.source.GetType() : expected)) << row.what;
    }
}

TEST(AllocationFailure, ListingsAndCallbacksFailCleanly) {
    StandardConversions::RegisterDataConversions();
    RegisterArrayClass();
    WrapUnchanged<std::wstring, double>();
    const auto gadget = RobustClass<Gadget>(L"Robust::Gadget");
    const auto function = GadgetFunction(L"Grow", InstanceStyle);
    gadget->AddFunction(function);
    ClassRegistry::GetInstance().AddClass(gadget);
    SweepAllocationFailures([] { ClassRegistry::GetInstance().GetRegisteredClasses(); });
    SweepAllocationFailures([&] { function->GetFunctionArguments(); });

    const auto context = TestScriptContext::Create();
    const auto call = boost::make_shared<TestScriptCall>(L"Callback");
    context->PushScriptCall(call);
    const Value script =
        Make(ScriptFunction([](const std::vector<Value>& arguments, std::vector<Value>& results) {
            results.assign(arguments.begin(), arguments.end());
            return true;
        }));
    const std::wstring text = L"argument";
    const float number = 2.5f;  // wrapped through its conversion to double
    const std::vector<Value> arguments{Value(&text, true), Value(&number)};
    std::vector<Value> results;
    SweepAllocationFailures(
        [&] {
            results.clear();
            EXPECT_TRUE(context->CallScriptFunction(script, arguments, false, results));
        },
        [&](std::size_t failure) {
            EXPECT_EQ(context->GetScriptCall(), call) << "after failure " << failure;
            EXPECT_EQ(arguments[0].GetValuePtr(), &text);
            EXPECT_TRUE(arguments[1].GetType() == TypeOf<float>());
        });
    EXPECT_EQ(results.size(), 2u);
}

}  // namespace
}  // namespace Testing
}  // namespace VelmorandScript
