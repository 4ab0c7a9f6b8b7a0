// Every registration, conversion, wrapping, listing and callback of the library, run with its
// 1st, 2nd, 3rd ... allocation failing: each failure must come out as std::bad_alloc and leave
// the registries and the value as they were (the sanitizer build checks that nothing leaks).

#include "FailingAllocator.h"
#include "support/TestHost.h"

#include <VelmorandScript/VelmorandScript.h>

#include <Common/CfxFormat.h>
#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace VelmorandScript {

// Readable DataTypes in assertion messages.
void PrintTo(const DataType& type, std::ostream* out) {
    *out << Common::ToUtf8(type.GetName());
}

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
    int n = 0;
};
struct Derived : Base {};

/// Native text that converts to String, so that it reaches long in two steps.
struct Label {
    std::wstring text;
};

DataType TypeOf(const std::type_info& type) {
    return DataType(type);
}

/// The types whose registry entries the snapshots compare.
const std::vector<DataType>& KnownTypes() {
    static const std::vector<DataType> types{
        TypeOf(typeid(long)),   TypeOf(typeid(unsigned long)), TypeOf(typeid(int)),
        TypeOf(typeid(double)), TypeOf(typeid(float)),         TypeOf(typeid(bool)),
        TypeOf(typeid(char)),   TypeOf(typeid(std::wstring)),  TypeOf(typeid(Value)),
        TypeOf(typeid(IArray)), TypeOf(typeid(IObject)),       TypeOf(typeid(Gadget)),
        TypeOf(typeid(Widget)), TypeOf(typeid(Base)),          TypeOf(typeid(Derived)),
        TypeOf(typeid(Label)),  TypeOf(typeid(void))};
    return types;
}

/// What the conversion registry answers about the known types.
struct ConversionSnapshot {
    std::size_t conversionCount;
    std::vector<bool> conversions;
    std::vector<bool> intermediates;
    std::vector<ConversionRoutine> wrappers;

    static ConversionSnapshot Take() {
        const ConversionRegistry& registry = ConversionRegistry::GetInstance();
        ConversionSnapshot snapshot{registry.GetConversionCount(), {}, {}, {}};
        for (const DataType& from : KnownTypes()) {
            for (const DataType& to : KnownTypes()) {
                snapshot.conversions.push_back(registry.HasDataConversion(from, to));
            }
            snapshot.intermediates.push_back(registry.IsIntermediateConversionDataType(from));
            snapshot.wrappers.push_back(registry.GetWrapperRoutine(from));
        }
        return snapshot;
    }
    bool operator==(const ConversionSnapshot& other) const {
        return std::tie(conversionCount, conversions, intermediates, wrappers) ==
               std::tie(other.conversionCount, other.conversions, other.intermediates,
                        other.wrappers);
    }
};

/// Both indexes of the class registry, as far as the known types reach the second one.
struct ClassSnapshot {
    std::map<std::wstring, const Class*> byName;
    std::vector<const Class*> byType;

    static ClassSnapshot Take() {
        const ClassRegistry& registry = ClassRegistry::GetInstance();
        ClassSnapshot snapshot;
        for (const auto& entry : registry.GetClasses()) {
            snapshot.byName.emplace(entry.first, entry.second.get());
        }
        Gadget gadget{1};
        Widget widget{L"w"};
        Derived derived;
        for (const Value& value : {Value(&gadget), Value(&widget), Value(&derived)}) {
            snapshot.byType.push_back(registry.FindClassByCppType(value).get());
        }
        return snapshot;
    }
    bool operator==(const ClassSnapshot& other) const {
        return byName == other.byName && byType == other.byType;
    }
};

/// A function table's entries: (name, style) to the function.
std::vector<std::tuple<std::wstring, long, const IFunction*>> FunctionsOf(const Class& owner) {
    FunctionMap functions;
    owner.GetAllFunctions(functions);
    std::vector<std::tuple<std::wstring, long, const IFunction*>> entries;
    for (const auto& entry : functions) {
        entries.emplace_back(entry.first.first, entry.first.second, entry.second.get());
    }
    return entries;
}

/// Whether `value` still is `original`: the same holder contents, types and flags.
void ExpectSameValue(const Value& value, const Value& original, std::size_t failure) {
    EXPECT_EQ(value.GetValuePtr(), original.GetValuePtr()) << "after failure " << failure;
    EXPECT_EQ(value.GetType(), original.GetType()) << "after failure " << failure;
    EXPECT_EQ(value.GetDerivedType(), original.GetDerivedType()) << "after failure " << failure;
    EXPECT_EQ(value.IsConst(), original.IsConst()) << "after failure " << failure;
    EXPECT_EQ(value.IsInsideSmartPointer(), original.IsInsideSmartPointer());
}

boost::shared_ptr<IFunction> MakeFunction(const wchar_t* name, const wchar_t* className,
                                          long style) {
    auto function = boost::make_shared<NativeFunction>(
        name, className, L"Robustness", false, style,
        [](const Value&, std::vector<Value>& arguments) { arguments.clear(); });
    function->AddArgument(
        Argument(DataType(typeid(long)), L"long", L"count", InputArgument, Value(), L""));
    function->AddArgument(
        Argument(DataType(typeid(void)), L"void", L"result", ReturnArgument, Value(), L""));
    return function;
}

// Routines that allocate, so that failures also strike inside them.
Value GadgetToWidget(const Value& source, boost::shared_ptr<IScriptContext>) {
    const Widget widget{std::wstring(static_cast<std::size_t>(GetAs<Gadget>(source).size), L'g')};
    return Value(&widget);
}
Value LabelToString(const Value& source, boost::shared_ptr<IScriptContext>) {
    return Value(boost::make_shared<std::wstring>(GetAs<Label>(source).text));
}
Value WrapAsText(const Value& source, boost::shared_ptr<IScriptContext>) {
    const std::wstring text = L"wrapped " + source.GetTypeName();
    return Value(&text);
}

TEST(AllocationFailure, TheInjectedFailureReachesEveryAllocation) {
    // Under a tool that replaces operator new itself (valgrind), nothing would be injected and
    // every sweep would pass without testing anything.
    bool threw = false;
    bool triggered = false;
    {
        AllocationFailureScope scope(1);
        try {
            const auto number = std::make_unique<int>(1);
            // Keeps the compiler from eliding the allocation.
            asm volatile("" : : "g"(number.get()) : "memory");
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        triggered = scope.Triggered();
    }
    EXPECT_TRUE(threw);
    EXPECT_TRUE(triggered);
}

TEST(AllocationFailure, FormattingMessagesReportsTheFailure) {
    std::wstring text;
    SweepAllocationFailures(
        [&] {
            Common::CfxFormat format(std::wstring(L"%1 of %2 in %3"));
            format.Append(123456789L).Append(true);
            format << std::wstring(40, L'x');
            text = format.ToString();
        },
        [](std::size_t) {});
    EXPECT_EQ(text, L"123456789 of 1 in " + std::wstring(40, L'x'));
}

TEST(AllocationFailure, CreatingTheRegistriesIsRetriedAfterAFailure) {
    SweepAllocationFailures([] { ConversionRegistry::GetInstance(); }, [](std::size_t) {});
    SweepAllocationFailures([] { ClassRegistry::GetInstance(); }, [](std::size_t) {});
    EXPECT_EQ(&ConversionRegistry::GetInstance(), &ConversionRegistry::GetInstance());
    EXPECT_EQ(&ClassRegistry::GetInstance(), &ClassRegistry::GetInstance());
    EXPECT_EQ(ConversionRegistry::GetInstance().GetConversionCount(), 0u);
}

TEST(AllocationFailure, RegistrationsLeaveTheConversionRegistryAsItWas) {
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    StandardConversions::RegisterDataConversions();
    const auto unchanged = [](const ConversionSnapshot& before) {
        return [before](std::size_t failure) {
            EXPECT_TRUE(ConversionSnapshot::Take() == before) << "after failure " << failure;
        };
    };

    SweepAllocationFailures(
        [&] {
            registry.RegisterDataConversion(TypeOf(typeid(Gadget)), TypeOf(typeid(Widget)),
                                            &GadgetToWidget);
        },
        unchanged(ConversionSnapshot::Take()));
    EXPECT_TRUE(registry.HasDataConversion(TypeOf(typeid(Gadget)), TypeOf(typeid(Widget))));

    SweepAllocationFailures(
        [&] { registry.RegisterIntermediateConversionDataType(TypeOf(typeid(Widget))); },
        unchanged(ConversionSnapshot::Take()));
    EXPECT_TRUE(registry.IsIntermediateConversionDataType(TypeOf(typeid(Widget))));

    SweepAllocationFailures(
        [&] { registry.RegisterDataWrapperRoutine(TypeOf(typeid(Widget)), &WrapAsText); },
        unchanged(ConversionSnapshot::Take()));
    EXPECT_EQ(registry.GetWrapperRoutine(TypeOf(typeid(Widget))), &WrapAsText);

    registry.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::OtherObjectCategory,
                                                     &WrapAsText);
    SweepAllocationFailures(
        [&] {
            registry.RegisterObjectTypeCategory(TypeOf(typeid(Gadget)),
                                                ConversionRegistry::OtherObjectCategory);
        },
        unchanged(ConversionSnapshot::Take()));
    EXPECT_EQ(registry.GetWrapperRoutine(TypeOf(typeid(Gadget))), &WrapAsText);
}

TEST(AllocationFailure, AddingFunctionsLeavesTheFunctionTableAsItWas) {
    auto gadget = boost::make_shared<Class>(TypeOf(typeid(Gadget)), L"Robust::Gadget", nullptr,
                                            L"Robustness", false);
    gadget->AddFunction(MakeFunction(L"Size", L"Robust::Gadget", PropertyGetStyle));
    gadget->AddFunction(MakeFunction(L"Grow", L"Robust::Gadget", InstanceStyle));

    for (auto added : {MakeFunction(L"Shrink", L"Robust::Gadget", InstanceStyle),
                       MakeFunction(L"Grow", L"Robust::Gadget", InstanceStyle),
                       MakeFunction(L"Size", L"Robust::Gadget", PropertySetStyle)}) {
        const auto before = FunctionsOf(*gadget);
        SweepAllocationFailures([&] { gadget->AddFunction(added); },
                                [&](std::size_t failure) {
                                    EXPECT_EQ(FunctionsOf(*gadget), before)
                                        << "after failure " << failure;
                                });
        EXPECT_EQ(
            gadget->FindFunction(added->GetName(), added->GetStyle(), boost::shared_ptr<IObject>()),
            added);
    }
    EXPECT_EQ(FunctionsOf(*gadget).size(), 4u);
}

TEST(AllocationFailure, AddingClassesLeavesTheClassRegistryAsItWas) {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    const auto unchanged = [](const ClassSnapshot& before) {
        return [before](std::size_t failure) {
            EXPECT_TRUE(ClassSnapshot::Take() == before) << "after failure " << failure;
        };
    };

    auto gadget = boost::make_shared<Class>(TypeOf(typeid(Gadget)), L"Robust::Gadget", nullptr,
                                            L"Robustness", false);
    SweepAllocationFailures([&] { registry.AddClass(gadget); }, unchanged(ClassSnapshot::Take()));
    EXPECT_EQ(registry.FindClassByScriptName(L"Robust::Gadget"), gadget);

    // A second class of a name already taken only enters the type index, and the other way
    // round: both insertions are covered.
    auto widget = boost::make_shared<Class>(TypeOf(typeid(Widget)), L"Robust::Gadget", nullptr,
                                            L"Robustness", false);
    SweepAllocationFailures([&] { registry.AddClass(widget); }, unchanged(ClassSnapshot::Take()));
    auto derived = boost::make_shared<Class>(TypeOf(typeid(Derived)), L"Robust::Derived",
                                             L"Robust::Base", L"Robustness", false);
    SweepAllocationFailures([&] { registry.AddClass(derived); }, unchanged(ClassSnapshot::Take()));
    EXPECT_EQ(registry.GetClasses().size(), 2u);
    Widget native{L"w"};
    EXPECT_EQ(registry.FindClassByCppType(Value(&native)), widget);
}

TEST(AllocationFailure, ConvertingLeavesTheValueAsItWas) {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataConversion(TypeOf(typeid(Label)), TypeOf(typeid(std::wstring)),
                                    &LabelToString);
    const auto context = TestScriptContext::Create();
    context->PushScriptCall(boost::make_shared<TestScriptCall>(L"Robust", L"Convert"));
    const ConversionSnapshot registryBefore = ConversionSnapshot::Take();

    // Direct (with a lossy conversion that notifies the script), boxing, a failed search that
    // throws, and two steps through String.
    const long big = 123456789;
    const Label label{L"77"};
    const std::wstring notANumber = L"seven";
    struct Case {
        Value source;
        DataType target;
        bool throws;
    };
    const std::vector<Case> cases{{Value(&big), TypeOf(typeid(float)), false},
                                  {Value(&big), TypeOf(typeid(Value)), false},
                                  {Value(&big), TypeOf(typeid(Gadget)), true},
                                  {Value(&label), TypeOf(typeid(long)), false},
                                  {Value(&notANumber, true), TypeOf(typeid(double)), true}};
    for (const Case& test : cases) {
        Value value = test.source;
        SweepAllocationFailures(
            [&] {
                try {
                    registry.ConvertValue(test.target, context, value, true);
                } catch (const ScriptException&) {
                    EXPECT_TRUE(test.throws) << "unexpected script error";
                }
            },
            [&](std::size_t failure) {
                // The second step through String may fail after the first replaced the value.
                if (value.GetType() != test.source.GetType()) {
                    EXPECT_EQ(value.GetType(), TypeOf(typeid(std::wstring)));
                    EXPECT_EQ(GetAs<std::wstring>(value), label.text);
                    value = test.source;
                }
                ExpectSameValue(value, test.source, failure);
                EXPECT_TRUE(ConversionSnapshot::Take() == registryBefore);
            });
        EXPECT_EQ(value.GetType(), test.throws ? test.source.GetType() : test.target);
    }
    EXPECT_EQ(GetAs<long>([&] {
                  Value value(&label);
                  registry.ConvertValue(TypeOf(typeid(long)), context, value, true);
                  return value;
              }()),
              77);
}

TEST(AllocationFailure, WrappingLeavesTheValueAndTheRegistryAsTheyWere) {
    StandardConversions::RegisterDataConversions();
    RegisterArrayClass();
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(Widget)), &WrapAsText);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(Base)), &WrapAsText);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(IArray)), &WrapAsText);
    registry.RegisterDataConversion(TypeOf(typeid(Gadget)), TypeOf(typeid(Widget)),
                                    &GadgetToWidget);
    registry.RegisterCategoricalObjectWrapperRoutine(ConversionRegistry::ClassInstanceCategory,
                                                     &WrapAsText);
    ClassRegistry::GetInstance().AddClass(boost::make_shared<Class>(
        TypeOf(typeid(Label)), L"Robust::Label", nullptr, L"Robustness", false));
    const auto context = TestScriptContext::Create();

    const Widget widget{L"own wrapper"};
    const Derived derived;
    const Base* asBase = &derived;
    const Gadget gadget{3};
    const Label label{L"class instance"};
    const Array array(boost::make_shared<TestArrayValue>());
    for (const Value& source : {Value(&widget), Value(asBase, true), Value(&gadget), Value(&label),
                                Value(static_cast<const IArray*>(&array))}) {
        Value value = source;
        // Wrapping may cache the chosen routine for the value's derived type before the routine
        // runs; that entry is the only change a failure may leave behind.
        const ConversionRoutine cachedBefore = registry.GetWrapperRoutine(source.GetDerivedType());
        SweepAllocationFailures([&] { EXPECT_TRUE(registry.WrapValue(context, value)); },
                                [&](std::size_t failure) {
                                    if (value.GetType() == TypeOf(typeid(Widget)) &&
                                        source.GetType() == TypeOf(typeid(Gadget))) {
                                        value = source;  // converted, then the wrapper failed
                                    }
                                    ExpectSameValue(value, source, failure);
                                    const ConversionRoutine cached =
                                        registry.GetWrapperRoutine(source.GetDerivedType());
                                    EXPECT_TRUE(cached == cachedBefore || cached == &WrapAsText);
                                });
        EXPECT_EQ(value.GetType(), TypeOf(typeid(std::wstring)));
    }
}

TEST(AllocationFailure, ListingsFailCleanly) {
    RegisterArrayClass();
    auto gadget = boost::make_shared<Class>(TypeOf(typeid(Gadget)), L"Robust::Gadget", nullptr,
                                            L"Robustness", false);
    auto function = MakeFunction(L"Grow", L"Robust::Gadget", InstanceStyle);
    gadget->AddFunction(function);
    gadget->AddFunction(MakeFunction(L"Size", L"Robust::Gadget", PropertyGetStyle));
    ClassRegistry::GetInstance().AddClass(gadget);
    const ClassSnapshot before = ClassSnapshot::Take();
    const auto functionsBefore = FunctionsOf(*gadget);
    const auto unchanged = [&](std::size_t failure) {
        EXPECT_TRUE(ClassSnapshot::Take() == before) << "after failure " << failure;
        EXPECT_EQ(FunctionsOf(*gadget), functionsBefore) << "after failure " << failure;
    };

    boost::shared_ptr<const IArray> listing;
    SweepAllocationFailures([&] { listing = ClassRegistry::GetInstance().GetRegisteredClasses(); },
                            unchanged);
    EXPECT_EQ(listing->Count(),
              static_cast<long>(ClassRegistry::GetInstance().GetClasses().size()));
    SweepAllocationFailures([&] { listing = gadget->GetClassFunctions(); }, unchanged);
    EXPECT_EQ(listing->Count(), 2);
    SweepAllocationFailures([&] { listing = function->GetFunctionArguments(); }, unchanged);
    EXPECT_EQ(listing->Count(), 1);
}

TEST(AllocationFailure, CallingScriptFunctionsLeavesTheContextAsItWas) {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(std::wstring)), &WrapAsText);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(double)), &WrapAsText);
    const auto context = TestScriptContext::Create();
    const auto call = boost::make_shared<TestScriptCall>(L"Robust", L"Callback");
    context->PushScriptCall(call);
    std::size_t calls = 0;
    const Value function = MakeScriptFunction(
        [&calls](const std::vector<Value>& arguments, std::vector<Value>& results) {
            ++calls;
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
            EXPECT_TRUE(context->CallScriptFunction(function, arguments, false, results));
        },
        [&](std::size_t failure) {
            EXPECT_EQ(context->GetScriptCall(), call) << "after failure " << failure;
            EXPECT_EQ(arguments[0].GetValuePtr(), &text);
            EXPECT_EQ(arguments[1].GetType(), TypeOf(typeid(float)));
        });
    EXPECT_EQ(results.size(), 2u);
    EXPECT_GE(calls, 1u);
    context->PopScriptCall();
    EXPECT_FALSE(context->GetScriptCall());
}

}  // namespace
}  // namespace Testing
}  // namespace VelmorandScript
