#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <VelmorandScript/Context.h>
#include <VelmorandScript/Conversion.h>
#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include <string>
#include <vector>

using namespace VelmorandScript;
using VelmorandScript::Testing::MakeScriptFunction;
using VelmorandScript::Testing::ScriptErrorText;
using VelmorandScript::Testing::TestScriptCall;
using VelmorandScript::Testing::TestScriptContext;

namespace {

/// Wrapped for scripts as the text "token".
struct Token {};
/// No wrapper routine applies to it.
struct Unwrappable {};

const IScriptContext* g_tokenWrapperContext = nullptr;

Value Unchanged(const Value& value, boost::shared_ptr<IScriptContext>) {
    return value;
}

Value WrapToken(const Value&, boost::shared_ptr<IScriptContext> context) {
    g_tokenWrapperContext = context.get();
    const std::wstring text(L"token");
    return Value(&text);
}

template <class T>
Value Make(const T& native) {
    return Value(&native);
}

template <class T>
const T& Read(const Value& value) {
    return *CastTo<T>(&value, true);
}

class ScriptContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ConversionRegistry& registry = ConversionRegistry::GetInstance();
        registry.RegisterDataWrapperRoutine(DataType(typeid(long)), &Unchanged);
        registry.RegisterDataWrapperRoutine(DataType(typeid(int)), &Unchanged);
        registry.RegisterDataWrapperRoutine(DataType(typeid(std::wstring)), &Unchanged);
        registry.RegisterDataWrapperRoutine(DataType(typeid(Token)), &WrapToken);
    }

    void SetUp() override {
        context = TestScriptContext::Create();
        context->PushScriptCall(boost::make_shared<TestScriptCall>(L"Shape", L"Draw"));
    }

    /// Lets the script's handler answer `results` (and `called`) and records what it received.
    void SetHandlerAnswer(std::vector<Value> results, bool called = true) {
        context->SetEventHandler(
            [this, results, called](const std::vector<Value>& arguments, std::vector<Value>& out) {
                handlerArguments = arguments;
                out = results;
                return called;
            });
    }

    boost::shared_ptr<TestScriptContext> context;
    std::vector<Value> handlerArguments;
};

}  // namespace

TEST_F(ScriptContextTest, StackKeepsTheInnermostCallLast) {
    const auto fresh = TestScriptContext::Create();
    EXPECT_FALSE(fresh->GetScriptCall());
    const auto a = boost::make_shared<TestScriptCall>(L"Shape", L"A");
    const auto b = boost::make_shared<TestScriptCall>(L"Shape", L"B");
    fresh->PushScriptCall(a);
    fresh->PushScriptCall(b);
    EXPECT_EQ(b, fresh->GetScriptCall());
    fresh->PopScriptCall();
    EXPECT_EQ(a, fresh->GetScriptCall());
    fresh->PopScriptCall();
    EXPECT_FALSE(fresh->GetScriptCall());

    EXPECT_EQ(
        L"PopScriptCall was called with no script call in progress; every PopScriptCall "
        L"must match an earlier PushScriptCall.",
        ScriptErrorText([&] { fresh->PopScriptCall(); }));
    fresh->PushScriptCall(b);
    EXPECT_EQ(b, fresh->GetScriptCall());

    // An empty frame counts as a call in progress.
    const auto anonymous = TestScriptContext::Create();
    anonymous->PushScriptCall(boost::shared_ptr<IScriptCall>());
    std::vector<Value> results;
    EXPECT_TRUE(anonymous->CallScriptFunction(Value(), {}, false, results));
}

TEST_F(ScriptContextTest, CopiesHaveTheirOwnStack) {
    const auto inner = boost::make_shared<TestScriptCall>(L"Shape", L"Inner");
    context->PushScriptCall(inner);
    TestScriptContext copy(*context);
    EXPECT_EQ(inner, copy.GetScriptCall());
    copy.PopScriptCall();
    EXPECT_NE(inner, copy.GetScriptCall());
    EXPECT_EQ(inner, context->GetScriptCall());

    TestScriptContext assigned;
    assigned = *context;
    EXPECT_EQ(inner, assigned.GetScriptCall());
    assigned = assigned;
    EXPECT_EQ(inner, assigned.GetScriptCall());

    // A copy is not owned by the source's shared pointer, so it cannot hand itself out.
    std::vector<Value> results;
    EXPECT_THROW(copy.CallScriptFunction(Value(), {Make(1L)}, false, results), boost::bad_weak_ptr);
    EXPECT_TRUE(copy.CallScriptFunction(Value(), {}, false, results));
}

TEST_F(ScriptContextTest, CallsOnlyWithinACallInProgress) {
    const auto idle = TestScriptContext::Create();
    std::vector<Value> results{Make(7L)};
    EXPECT_FALSE(idle->CallScriptFunction(Value(), {Make(1L)}, true, results));
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(7L, Read<long>(results[0]));
    EXPECT_TRUE(idle->GetInvokedCalls().empty());
}

TEST_F(ScriptContextTest, WrapsEveryArgumentAndPassesTheRestThrough) {
    const Value function = Make(std::wstring(L"OnDraw"));
    const std::vector<Value> arguments{Make(Token()), Make(5L)};
    context->SetInvokeAnswer(false, {Make(3L)});
    std::vector<Value> results;

    EXPECT_FALSE(context->CallScriptFunction(function, arguments, true, results));
    ASSERT_EQ(1u, context->GetInvokedCalls().size());
    const TestScriptContext::Call& call = context->GetInvokedCalls()[0];
    EXPECT_EQ(function.GetValuePtr(), call.function.GetValuePtr());
    EXPECT_TRUE(call.flag);
    ASSERT_EQ(2u, call.arguments.size());
    EXPECT_EQ(L"token", Read<std::wstring>(call.arguments[0]));
    EXPECT_EQ(5L, Read<long>(call.arguments[1]));
    EXPECT_EQ(context.get(), g_tokenWrapperContext);
    EXPECT_EQ(DataType(typeid(Token)), arguments[0].GetType());
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(3L, Read<long>(results[0]));

    context->SetInvokeAnswer(true, {});
    EXPECT_TRUE(context->CallScriptFunction(function, arguments, false, results));
    EXPECT_TRUE(results.empty());
}

TEST_F(ScriptContextTest, AnArgumentWithoutWrapperStopsTheCall) {
    std::vector<Value> results;
    EXPECT_FALSE(
        context->CallScriptFunction(Value(), {Make(1L), Make(Unwrappable())}, false, results));
    EXPECT_TRUE(context->GetInvokedCalls().empty());
}

TEST_F(ScriptContextTest, NotificationReachesTheHandlerAsTypeAndText) {
    EXPECT_FALSE(context->NotifyScript(L"nobody listens", WarningEvent));
    EXPECT_TRUE(context->GetInvokedCalls().empty());

    SetHandlerAnswer({});
    EXPECT_TRUE(context->NotifyScript(L"Careful.", WarningEvent));
    ASSERT_EQ(2u, handlerArguments.size());
    EXPECT_EQ(DataType(typeid(long)), handlerArguments[0].GetType());
    EXPECT_EQ(1L, Read<long>(handlerArguments[0]));
    EXPECT_EQ(L"Careful.", Read<std::wstring>(handlerArguments[1]));
    EXPECT_FALSE(context->GetInvokedCalls()[0].flag);

    const auto idle = TestScriptContext::Create();
    idle->SetEventHandler([](const std::vector<Value>&, std::vector<Value>&) { return true; });
    EXPECT_FALSE(idle->NotifyScript(L"no call in progress", WarningEvent));
}

TEST_F(ScriptContextTest, OnlyASingleLongZeroAbortsTheScript) {
    SetHandlerAnswer({Make(0L)});
    try {
        context->NotifyScript(L"Stop here.", WarningEvent);
        ADD_FAILURE() << "the handler's long 0 did not abort";
    } catch (const ScriptAbortException& abort) {
        EXPECT_EQ(L"Stop here.", abort.GetExceptionMessage());
    }

    SetHandlerAnswer({Make(1L)});
    EXPECT_TRUE(context->NotifyScript(L"text", WarningEvent));
    SetHandlerAnswer({Make(0)});
    EXPECT_TRUE(context->NotifyScript(L"text", WarningEvent));
    SetHandlerAnswer({Make(0L), Make(0L)});
    EXPECT_TRUE(context->NotifyScript(L"text", WarningEvent));
    SetHandlerAnswer({Value()});
    EXPECT_TRUE(context->NotifyScript(L"text", WarningEvent));
    SetHandlerAnswer({Make(0L)}, false);
    EXPECT_FALSE(context->NotifyScript(L"text", WarningEvent));
}

TEST_F(ScriptContextTest, HandlerExceptionsPassThrough) {
    context->SetEventHandler([](const std::vector<Value>&, std::vector<Value>&) -> bool {
        throw ScriptCancelException();
    });
    EXPECT_THROW(context->NotifyScript(L"text", WarningEvent), ScriptCancelException);
}
