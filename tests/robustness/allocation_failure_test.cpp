// Registrations, conversions, wrapping, listings and callbacks run with their 1st, 2nd, 3rd ...
// allocation failing: each failure must come out as std::bad_alloc and leave the registries and
// the value as they were (the sanitizer build checks that nothing leaks).

#include "FailingAllocator.h"
#include "support/TestHost.h"

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace VelmorandScript {
namespace Testing {
namespace {

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

DataType TypeOf(const std::type_info& type) {
    return DataType(type);
}

boost::shared_ptr<Class> MakeClass(const std::type_info& type, const wchar_t* name) {
    return boost::make_shared<Class>(TypeOf(type), name, nullptr, L"Robustness", false);
}

boost::shared_ptr<IFunction> MakeFunction(const wchar_t* name, long style) {
    auto function = boost::make_shared<NativeFunction>(
        name, L"Robust::Gadget", L"Robustness", false, style,
        [](const Value&, std::vector<Value>& arguments) { arguments.clear(); });
    function->AddArgument(
        Argument(TypeOf(typeid(long)), L"long", L"count", InputArgument, Value(), L""));
    function->AddArgument(
        Argument(TypeOf(typeid(void)), L"void", L"result", ReturnArgument, Value(), L""));
    return function;
}

/// What the registries answer about a set of types, and the function table of one class.
struct Snapshot {
    std::size_t conversionCount = 0;
    std::vector<bool> conversions, intermediates;
    std::vector<ConversionRoutine> wrappers;
    std::map<std::wstring, const Class*> classesByName;
    std::vector<const Class*> classLookups;
    std::vector<std::tuple<std::wstring, long, const IFunction*>> functions;

    static Snapshot Take(const Class* owner = nullptr) {
        static const std::vector<DataType> types{
            TypeOf(typeid(long)),   TypeOf(typeid(double)),       TypeOf(typeid(float)),
            TypeOf(typeid(bool)),   TypeOf(typeid(std::wstring)), TypeOf(typeid(Value)),
            TypeOf(typeid(IArray)), TypeOf(typeid(Gadget)),       TypeOf(typeid(Widget)),
            TypeOf(typeid(Base)),   TypeOf(typeid(Derived)),      TypeOf(typeid(Label))};
        const ConversionRegistry& conversions = ConversionRegistry::GetInstance();
        Snapshot snapshot;
        snapshot.conversionCount = conversions.GetConversionCount();
        for (const DataType& from : types) {
            for (const DataType& to : types) {
                snapshot.conversions.push_back(conversions.HasDataConversion(from, to));
            }
            snapshot.intermediates.push_back(conversions.IsIntermediateConversionDataType(from));
            snapshot.wrappers.push_back(conversions.GetWrapperRoutine(from));
        }
        const ClassRegistry& classes = ClassRegistry::GetInstance();
        for (const auto& entry : classes.GetClasses()) {
            snapshot.classesByName.emplace(entry.first, entry.second.get());
        }
        const Gadget gadget{1};
        const Widget widget{L"w"};
        const Derived derived;
        for (const Value& value : {Value(&gadget), Value(&widget), Value(&derived)}) {
            snapshot.classLookups.push_back(classes.FindClassByCppType(value).get());
        }
        for (const wchar_t* name : {L"Robust::Gadget", L"Robust::Other"}) {
            snapshot.classLookups.push_back(classes.FindClassByScriptName(name).get());
        }
        if (owner != nullptr) {
            FunctionMap functions;
            owner->GetAllFunctions(functions);
            for (const auto& entry : functions) {
                snapshot.functions.emplace_back(entry.first.first, entry.first.second,
                                                entry.second.get());
            }
        }
        return snapshot;
    }
    bool operator==(const Snapshot& other) const {
        return std::tie(conversionCount, conversions, intermediates, wrappers, classesByName,
                        classLookups, functions) ==
               std::tie(other.conversionCount, other.conversions, other.intermediates,
                        other.wrappers, other.classesByName, other.classLookups, other.functions);
    }
};

void ExpectSameValue(const Value& value, const Value& original, std::size_t failure) {
    EXPECT_EQ(value.GetValuePtr(), original.GetValuePtr()) << "after failure " << failure;
    EXPECT_TRUE(value.GetType() == original.GetType()) << "after failure " << failure;
    EXPECT_TRUE(value.GetDerivedType() == original.GetDerivedType()) << "after failure " << failure;
    EXPECT_EQ(value.IsConst(), original.IsConst()) << "after failure " << failure;
    EXPECT_EQ(value.IsInsideSmartPointer(), original.IsInsideSmartPointer());
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
    // Under a tool that replaces operator new itself (valgrind), nothing would be injected and
    // every sweep would pass without testing anything.
    EXPECT_EQ(SweepAllocationFailures(
                  [] {
                      const auto number = std::make_unique<int>(1);
                      asm volatile("" : : "g"(number.get()) : "memory");  // keeps the allocation
                  },
                  [](std::size_t) {}),
              1u);
    SweepAllocationFailures([] { ConversionRegistry::GetInstance(); }, [](std::size_t) {});
    SweepAllocationFailures([] { ClassRegistry::GetInstance(); }, [](std::size_t) {});
    EXPECT_EQ(&ClassRegistry::GetInstance(), &ClassRegistry::GetInstance());
    EXPECT_EQ(ConversionRegistry::GetInstance().GetConversionCount(), 0u);
}

TEST(AllocationFailure, RegistrationsLeaveTheRegistriesAsTheyWere) {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& conversions = ConversionRegistry::GetInstance();
    ClassRegistry& classes = ClassRegistry::GetInstance();
    conversions.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::OtherObjectCategory,
                                                        &WrapAsText);
    const auto gadget = MakeClass(typeid(Gadget), L"Robust::Gadget");
    gadget->AddFunction(MakeFunction(L"Size", PropertyGetStyle));
    gadget->AddFunction(MakeFunction(L"Grow", InstanceStyle));

    // Each row must change what the snapshot sees; the class rows cover a new name and type, a
    // taken name with a new type and a new name with a taken type.
    const std::vector<std::pair<const char*, std::function<void()>>> rows{
        {"conversion",
         [&] {
             conversions.RegisterDataConversion(TypeOf(typeid(Gadget)), TypeOf(typeid(Widget)),
                                                &GadgetToWidget);
         }},
        {"intermediate",
         [&] { conversions.RegisterIntermediateConversionDataType(TypeOf(typeid(Widget))); }},
        {"wrapper",
         [&] { conversions.RegisterDataWrapperRoutine(TypeOf(typeid(Widget)), &WrapAsText); }},
        {"category",
         [&] {
             conversions.RegisterObjectTypeCategory(TypeOf(typeid(Gadget)),
                                                    ConversionRegistry::OtherObjectCategory);
         }},
        {"new function", [&] { gadget->AddFunction(MakeFunction(L"Shrink", InstanceStyle)); }},
        {"replaced function", [&] { gadget->AddFunction(MakeFunction(L"Grow", InstanceStyle)); }},
        {"other style", [&] { gadget->AddFunction(MakeFunction(L"Size", PropertySetStyle)); }},
        {"class", [&] { classes.AddClass(gadget); }},
        {"taken name", [&] { classes.AddClass(MakeClass(typeid(Widget), L"Robust::Gadget")); }},
        {"taken type", [&] { classes.AddClass(MakeClass(typeid(Gadget), L"Robust::Other")); }},
    };
    for (const auto& row : rows) {
        const Snapshot before = Snapshot::Take(gadget.get());
        SweepAllocationFailures(row.second, [&](std::size_t failure) {
            EXPECT_TRUE(Snapshot::Take(gadget.get()) == before)
                << row.first << ", after failure " << failure;
        });
        EXPECT_FALSE(Snapshot::Take(gadget.get()) == before) << row.first << " changed nothing";
    }
    EXPECT_EQ(conversions.GetWrapperRoutine(TypeOf(typeid(Gadget))), &WrapAsText);
    EXPECT_EQ(gadget->FindFunction(L"Shrink", InstanceStyle, nullptr)->GetName(), L"Shrink");
    EXPECT_EQ(classes.GetClasses().size(), 2u);
}

TEST(AllocationFailure, ConvertingAndWrappingLeaveTheValueAsItWas) {
    StandardConversions::RegisterDataConversions();
    RegisterArrayClass();
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataConversion(TypeOf(typeid(Label)), TypeOf(typeid(std::wstring)),
                                    &LabelToString);
    registry.RegisterDataConversion(TypeOf(typeid(Gadget)), TypeOf(typeid(Widget)),
                                    &GadgetToWidget);
    for (const std::type_info* type : {&typeid(Widget), &typeid(Base), &typeid(IArray)}) {
        registry.RegisterDataWrapperRoutine(TypeOf(*type), &WrapAsText);
    }
    registry.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                     &WrapAsText);
    ClassRegistry::GetInstance().AddClass(MakeClass(typeid(Label), L"Robust::Label"));
    const auto context = TestScriptContext::Create();
    context->PushScriptCall(boost::make_shared<TestScriptCall>(L"Robust", L"Convert"));

    const long big = 123456789;
    const std::wstring notANumber = L"seven";
    const Label label{L"77"};
    const Widget widget{L"own wrapper"};
    const Derived derived;
    const Base* asBase = &derived;
    const Gadget gadget{3};
    const Array array(boost::make_shared<TestArrayValue>());
    const DataType wrap = TypeOf(typeid(void));
    struct Row {
        const char* what;
        Value source;
        DataType target;  // void: wrapped
        bool throws;
        const std::type_info& intermediate;  // what a failed second step may leave
    };
    const Row rows[] = {
        {"precision notice", Value(&big), TypeOf(typeid(float)), false, typeid(void)},
        {"boxing", Value(&big), TypeOf(typeid(Value)), false, typeid(void)},
        {"no path", Value(&big), TypeOf(typeid(Gadget)), true, typeid(void)},
        {"failed parse", Value(&notANumber, true), TypeOf(typeid(double)), true, typeid(void)},
        {"two steps", Value(&label), TypeOf(typeid(long)), false, typeid(std::wstring)},
        {"own wrapper", Value(&widget), wrap, false, typeid(void)},
        {"declared type's wrapper", Value(asBase, true), wrap, false, typeid(void)},
        {"converted, then wrapped", Value(&gadget), wrap, false, typeid(Widget)},
        {"class instance", Value(&label), wrap, false, typeid(void)},
        {"array", Value(static_cast<const IArray*>(&array)), wrap, false, typeid(void)}};
    for (const Row& row : rows) {
        Value value = row.source;
        // Wrapping may cache the chosen routine for the derived type before the routine runs;
        // that entry is the only change a failure may leave behind.
        const ConversionRoutine cachedBefore =
            registry.GetWrapperRoutine(row.source.GetDerivedType());
        const Snapshot before = Snapshot::Take();
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
                if (value.GetType() != row.source.GetType()) {
                    EXPECT_TRUE(value.GetType() == TypeOf(row.intermediate)) << row.what;
                    value = row.source;
                }
                ExpectSameValue(value, row.source, failure);
                const ConversionRoutine cached =
                    registry.GetWrapperRoutine(row.source.GetDerivedType());
                EXPECT_TRUE(cached == cachedBefore || cached == &WrapAsText);
                EXPECT_TRUE(row.target == wrap || Snapshot::Take() == before) << row.what;
            });
        const DataType expected = row.target == wrap ? TypeOf(typeid(std::wstring)) : row.target;
        EXPECT_TRUE(value.GetType() == (row.throws ? row.source.GetType() : expected)) << row.what;
    }
    Value twoSteps(&label);
    registry.ConvertValue(TypeOf(typeid(long)), context, twoSteps, true);
    EXPECT_EQ(Read<long>(twoSteps), 77);
}

TEST(AllocationFailure, ListingsAndScriptCallsFailCleanly) {
    StandardConversions::RegisterDataConversions();
    RegisterArrayClass();
    const auto gadget = MakeClass(typeid(Gadget), L"Robust::Gadget");
    const auto function = MakeFunction(L"Grow", InstanceStyle);
    gadget->AddFunction(function);
    gadget->AddFunction(MakeFunction(L"Size", PropertyGetStyle));
    ClassRegistry::GetInstance().AddClass(gadget);
    const Snapshot before = Snapshot::Take(gadget.get());

    boost::shared_ptr<const IArray> listing;
    const std::vector<std::pair<std::function<void()>, long>> listings{
        {[&] { listing = ClassRegistry::GetInstance().GetRegisteredClasses(); },
         static_cast<long>(ClassRegistry::GetInstance().GetClasses().size())},
        {[&] { listing = gadget->GetClassFunctions(); }, 2},
        {[&] { listing = function->GetFunctionArguments(); }, 1}};
    for (const auto& row : listings) {
        SweepAllocationFailures(row.first, [&](std::size_t failure) {
            EXPECT_TRUE(Snapshot::Take(gadget.get()) == before) << "after failure " << failure;
        });
        EXPECT_EQ(listing->Count(), row.second);
    }

    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(std::wstring)), &WrapAsText);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(double)), &WrapAsText);
    const auto context = TestScriptContext::Create();
    const auto call = boost::make_shared<TestScriptCall>(L"Robust", L"Callback");
    context->PushScriptCall(call);
    const Value script =
        MakeScriptFunction([](const std::vector<Value>& arguments, std::vector<Value>& results) {
            results.assign(arguments.begin(), arguments.end());
            return true;
        });
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
            EXPECT_TRUE(arguments[1].GetType() == TypeOf(typeid(float)));
        });
    EXPECT_EQ(results.size(), 2u);
}

}  // namespace
}  // namespace Testing
}  // namespace VelmorandScript
