// Routines, wrapper routines, creators, functions, handlers and host operations that throw, one
// after another: the exception must come through unchanged and leave the documented state.

#include "support/TestHost.h"

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace VelmorandScript {
namespace Testing {
namespace {

/// Deliberately no std::exception, so that nothing on the way can translate it by accident.
struct HookFailure {
    std::size_t step;
};

std::size_t g_failingStep = 0;
std::size_t g_steps = 0;
bool g_thrown = false;

void Step() {
    if (g_failingStep != 0 && ++g_steps == g_failingStep) {
        g_failingStep = 0;
        g_thrown = true;
        throw HookFailure{g_steps};
    }
}

/// Runs `scenario` with its 1st, 2nd ... hook throwing until it completes; `check(step)` verifies
/// the state after each throw. Returns the number of hooks the completed run passed.
template <class Scenario, class Check>
std::size_t SweepThrowingHooks(Scenario scenario, Check check) {
    for (std::size_t step = 1; step < 1000; ++step) {
        g_failingStep = step;
        g_steps = 0;
        g_thrown = false;
        bool caught = false;
        try {
            scenario();
        } catch (const HookFailure& failure) {
            caught = true;
            EXPECT_EQ(failure.step, step) << "the hook's exception arrived changed";
        }
        g_failingStep = 0;
        if (!g_thrown) {
            return step - 1;
        }
        if (!caught) {
            ADD_FAILURE() << "the exception of hook " << step << " was swallowed";
            return step;
        }
        check(step);
    }
    ADD_FAILURE() << "the scenario never completed";
    return 0;
}

struct Gadget {
    int size;
};
struct Token {
    std::wstring text;
};
struct Widget {
    std::wstring text;
};
struct Base {
    virtual ~Base() = default;
};
struct Derived : Base {};

Value GadgetToToken(const Value& source, boost::shared_ptr<IScriptContext>) {
    Step();
    return Make(Token{std::to_wstring(Read<Gadget>(source).size)});
}
Value TokenToWidget(const Value& source, boost::shared_ptr<IScriptContext>) {
    Step();
    return Make(Widget{L"widget " + Read<Token>(source).text});
}
Value WrapToText(const Value& source, boost::shared_ptr<IScriptContext>) {
    Step();
    return Make(L"script sees " + source.GetTypeName());
}
Value PassThrough(const Value& source, boost::shared_ptr<IScriptContext>) {
    Step();
    return source;
}
Value CreateGadget() {
    Step();
    return Make(Gadget{7});
}

/// A script whose host operations throw in their turn.
class ThrowingHostContext : public TestScriptContext {
public:
    Value GetScriptVariable(const std::wstring& name) override {
        Step();
        return TestScriptContext::GetScriptVariable(name);
    }
    bool InvokeScriptFunction(const Value& function, const std::vector<Value>& arguments, bool flag,
                              std::vector<Value>& results) const override {
        Step();
        return TestScriptContext::InvokeScriptFunction(function, arguments, flag, results);
    }
};

boost::shared_ptr<ThrowingHostContext> MakeContextInCall() {
    auto context = boost::make_shared<ThrowingHostContext>();
    context->PushScriptCall(boost::make_shared<TestScriptCall>(L"Robust", L"Run"));
    return context;
}

DataType TypeOf(const std::type_info& type) {
    return DataType(type);
}

TEST(ExceptionSafety, ConversionAndWrapperRoutinesThatThrowLeaveTheDocumentedValue) {
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataConversion(TypeOf(typeid(Gadget)), TypeOf(typeid(Token)), &GadgetToToken);
    registry.RegisterDataConversion(TypeOf(typeid(Token)), TypeOf(typeid(Widget)), &TokenToWidget);
    registry.RegisterIntermediateConversionDataType(TypeOf(typeid(Token)));
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(Widget)), &WrapToText);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(Base)), &WrapToText);

    // Two steps: a failed second step leaves the intermediate value.
    const Gadget gadget{3};
    Value value(&gadget, true);
    EXPECT_EQ(
        SweepThrowingHooks(
            [&] {
                registry.ConvertValue(TypeOf(typeid(Widget)), MakeContextInCall(), value, true);
            },
            [&](std::size_t step) {
                if (step == 1) {
                    EXPECT_EQ(value.GetValuePtr(), &gadget) << "a failed first step changed it";
                } else {
                    EXPECT_EQ(Read<Token>(value).text, L"3") << "not the intermediate";
                }
                value = Value(&gadget, true);
            }),
        2u);
    EXPECT_EQ(Read<Widget>(value).text, L"widget 3");

    // No wrapper of its own: converted to Widget first, and that stays if the wrapper fails.
    const Token token{L"5"};
    value = Value(&token, true);
    SweepThrowingHooks([&] { registry.WrapValue(MakeContextInCall(), value); },
                       [&](std::size_t step) {
                           if (step == 1) {
                               EXPECT_EQ(value.GetValuePtr(), &token);
                           } else {
                               EXPECT_EQ(Read<Widget>(value).text, L"widget 5");
                               value = Value(&token, true);
                           }
                       });
    EXPECT_EQ(Read<std::wstring>(value), L"script sees " + TypeOf(typeid(Widget)).GetName());

    // The declared type's wrapper is cached for the derived type before it runs.
    const Derived derived;
    const Base* asBase = &derived;
    Value object(asBase, true);
    SweepThrowingHooks([&] { registry.WrapValue(MakeContextInCall(), object); },
                       [&](std::size_t) {
                           EXPECT_EQ(object.GetValuePtr(), &derived);
                           EXPECT_EQ(registry.GetWrapperRoutine(TypeOf(typeid(Derived))),
                                     &WrapToText);
                       });
    EXPECT_TRUE(object.GetType() == TypeOf(typeid(std::wstring)));
}

TEST(ExceptionSafety, CallbacksThatThrowLeaveTheCallStackAndTheArguments) {
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(Gadget)), &PassThrough);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(Widget)), &WrapToText);
    const auto context = MakeContextInCall();
    const auto call = context->GetScriptCall();
    const Value function =
        MakeScriptFunction([](const std::vector<Value>& arguments, std::vector<Value>& results) {
            Step();
            results.push_back(arguments.back());
            return true;
        });

    const Gadget gadget{1};
    const Widget widget{L"w"};
    const std::vector<Value> arguments{Value(&gadget, true), Value(&widget, true)};
    const long sentinel = 99;
    std::vector<Value> results{Value(&sentinel, true)};
    const std::size_t hooks =
        SweepThrowingHooks([&] { context->CallScriptFunction(function, arguments, true, results); },
                           [&](std::size_t) {
                               EXPECT_EQ(context->GetScriptCall(), call);
                               ASSERT_EQ(results.size(), 1u);
                               EXPECT_EQ(results[0].GetValuePtr(), &sentinel);
                               EXPECT_EQ(arguments[0].GetValuePtr(), &gadget);
                               EXPECT_EQ(arguments[1].GetValuePtr(), &widget);
                           });
    EXPECT_EQ(hooks, 4u);  // two wrappers, the host, the script function
    EXPECT_EQ(results.size(), 2u);
}

TEST(ExceptionSafety, HandlersThatThrowComeThroughUnchanged) {
    StandardConversions::RegisterDataConversions();
    ConversionRegistry& registry = ConversionRegistry::GetInstance();
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(long)), &PassThrough);
    registry.RegisterDataWrapperRoutine(TypeOf(typeid(std::wstring)), &PassThrough);
    const auto context = MakeContextInCall();
    const auto call = context->GetScriptCall();
    long answer = 1;
    context->SetEventHandler([&answer](const std::vector<Value>&, std::vector<Value>& results) {
        Step();
        results.push_back(Value(&answer));
        return true;
    });

    bool notified = false;
    SweepThrowingHooks([&] { notified = context->NotifyScript(L"careful", WarningEvent); },
                       [&](std::size_t) { EXPECT_EQ(context->GetScriptCall(), call); });
    EXPECT_TRUE(notified);

    // The precision notice of a standard conversion: a throwing or aborting handler leaves the
    // value as it was.
    const long big = 123456789;
    Value value(&big, true);
    SweepThrowingHooks([&] { registry.ConvertValue(TypeOf(typeid(float)), context, value, true); },
                       [&](std::size_t) { EXPECT_EQ(value.GetValuePtr(), &big); });
    EXPECT_TRUE(value.GetType() == TypeOf(typeid(float)));

    const auto renamed = boost::make_shared<DeprecatedRenamedFunction>(
        L"Old", L"Robust::Thing", L"Robustness", InstanceStyle, L"New");
    boost::shared_ptr<IFunction> function = renamed;
    bool letThrough = true;
    SweepThrowingHooks(
        [&] { letThrough = renamed->PreInvoke(context, L"Robust::Thing", function); },
        [&](std::size_t) { EXPECT_EQ(function, renamed); });
    EXPECT_FALSE(letThrough);
    EXPECT_EQ(function, renamed);

    answer = 0;
    value = Value(&big, true);
    try {
        registry.ConvertValue(TypeOf(typeid(float)), context, value, true);
        ADD_FAILURE() << "a handler answering 0 must abort the script";
    } catch (const ScriptAbortException& abort) {
        EXPECT_NE(abort.GetExceptionMessage().find(L"123456789"), std::wstring::npos);
    }
    EXPECT_EQ(value.GetValuePtr(), &big);
    EXPECT_EQ(context->GetScriptCall(), call);
}

TEST(ExceptionSafety, CreatorsAndFunctionsThatThrowLeaveTheirRegistrations) {
    ValueFactory& factory = ValueFactory::GetFactory();
    ASSERT_TRUE(factory.AddCreator(TypeOf(typeid(Gadget)), &CreateGadget));
    Value created;
    SweepThrowingHooks([&] { created = factory.CreateObject(TypeOf(typeid(Gadget))); },
                       [&](std::size_t) { EXPECT_TRUE(created.IsEmpty()); });
    EXPECT_EQ(Read<Gadget>(created).size, 7);
    EXPECT_FALSE(factory.AddCreator(TypeOf(typeid(Gadget)), &CreateGadget)) << "creator lost";
    EXPECT_TRUE(factory.RemoveCreator(TypeOf(typeid(Gadget))));

    const auto grow = boost::make_shared<NativeFunction>(
        L"Grow", L"Robust::Thing", L"Robustness", false, InstanceStyle,
        [](const Value& self, std::vector<Value>& arguments) {
            Step();
            const int grown = Read<Gadget>(self).size + Read<int>(arguments.at(0));
            Step();
            arguments.at(1) = Make(grown);
        });
    const Gadget gadget{2};
    std::vector<Value> arguments;
    SweepThrowingHooks(
        [&] {
            arguments = {Make(3), Value()};
            grow->Invoke(Value(&gadget, true), arguments);
        },
        [&](std::size_t) { EXPECT_TRUE(arguments.at(1).IsEmpty()); });
    EXPECT_EQ(Read<int>(arguments.at(1)), 5);
}

}  // namespace
}  // namespace Testing
}  // namespace VelmorandScript
