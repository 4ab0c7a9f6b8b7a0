#include "support/ScriptErrorText.h"
#include "support/TestHost.h"

#include <VelmorandScript/Errors.h>

#include <gtest/gtest.h>

using namespace VelmorandScript;
using namespace VelmorandScript::Testing;

namespace {

struct Token {};        // wrapped for scripts as the text "token"
struct Unwrappable {};  // no wrapper routine applies to it

const IScriptContext* g_tokenWrapperContext = nullptr;

class ScriptContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WrapUnchanged<long, int, std::wstring>();
        ConversionRegistry::GetInstance().RegisterDataWrapperRoutine(
            DataType(typeid(Token)), [](const Value&, boost::shared_ptr<IScriptContext> context) {
                g_tokenWrapperContext = context.get();
                return Make(std::wstring(L"token"));
            });
    }

    void SetUp() override {
        context->PushScriptCall(boost::make_shared<TestScriptCall>(L"S", L"F"));
    }

    /// A script function that records its arguments and answers `results` (and `called`).
    Value Answering(std::vector<Value> results, bool called = true) {
        return MakeScriptFunction(
            [this, results, called](const std::vector<Value>& arguments, std::vector<Value>& out) {
                received = arguments;
                out = results;
                return called;
            });
    }

    boost::shared_ptr<TestScriptContext> context = TestScriptContext::Create();
    std::vector<Value> received;
};

}  // namespace

TEST_F(ScriptContextTest, StackKeepsTheInnermostCallLastAndCopiesHaveTheirOwn) {
    const auto fresh = TestScriptContext::Create();
    const auto a = boost::make_shared<TestScriptCall>(L"S", L"A");
    const auto b = boost::make_shared<TestScriptCall>(L"S", L"B");
    fresh->PushScriptCall(a);
    fresh->PushScriptCall(b);
    TestScriptContext copy(*fresh);
    copy.PopScriptCall();
    EXPECT_EQ(copy.GetScriptCall(), a);
    EXPECT_EQ(fresh->GetScriptCall(), b);
    fresh->PopScriptCall();
    EXPECT_EQ(fresh->GetScriptCall(), a);
    fresh->PopScriptCall();
    EXPECT_FALSE(fresh->GetScriptCall());
    EXPECT_EQ(ScriptErrorText([&] { fresh->PopScriptCall(); }),
              L"PopScriptCall was called with no script call in progress; every PopScriptCall "
              L"must match an earlier PushScriptCall.");

    // A copy is not owned by a shared pointer: it can call only without arguments to wrap.
    std::vector<Value> results;
    EXPECT_THROW(copy.CallScriptFunction(Answering({}), {Make(1L)}, false, results),
                 boost::bad_weak_ptr);
    EXPECT_TRUE(copy.CallScriptFunction(Answering({}), {}, false, results));
    fresh->PushScriptCall(nullptr);  // an empty frame is a call in progress too
    EXPECT_TRUE(fresh->CallScriptFunction(Answering({}), {}, false, results));
}

TEST_F(ScriptContextTest, CallsWrapEveryArgumentOnlyWithinACallInProgress) {
    const Value function = Answering({Make(3L)}, false);
    const std::vector<Value> arguments{Make(Token()), Make(5L)};
    std::vector<Value> results{Make(7L)};
    // Outside any call, and with an argument no wrapper applies to, nothing is called.
    EXPECT_FALSE(
        TestScriptContext::Create()->CallScriptFunction(function, arguments, true, results));
    EXPECT_FALSE(
        context->CallScriptFunction(function, {Make(1L), Make(Unwrappable())}, true, results));
    EXPECT_TRUE(context->GetInvokedCalls().empty());
    EXPECT_EQ(Read<long>(results.at(0)), 7L);

    EXPECT_FALSE(context->CallScriptFunction(function, arguments, true, results));
    ASSERT_EQ(context->GetInvokedCalls().size(), 1u);
    EXPECT_EQ(context->GetInvokedCalls()[0].function.GetValuePtr(), function.GetValuePtr());
    EXPECT_TRUE(context->GetInvokedCalls()[0].flag);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(Read<std::wstring>(received[0]), L"token");
    EXPECT_EQ(Read<long>(received[1]), 5L);
    EXPECT_EQ(g_tokenWrapperContext, context.get());
    EXPECT_EQ(Read<long>(results.at(0)), 3L);
}

TEST_F(ScriptContextTest, HandlerGetsTypeAndTextAndOnlyASingleLongZeroAborts) {
    EXPECT_FALSE(context->NotifyScript(L"nobody listens", WarningEvent));
    const auto answer = [this](std::vector<Value> results, bool called = true) {
        context->SetScriptVariable(L"VelmorandScript::EVENT_HANDLER_ROUTINE",
                                   Answering(std::move(results), called));
    };
    answer({Make(0L)});
    try {
        context->NotifyScript(L"Stop here.", WarningEvent);
        ADD_FAILURE() << "the handler's long 0 did not abort";
    } catch (const ScriptAbortException& abort) {
        EXPECT_EQ(abort.GetExceptionMessage(), L"Stop here.");
    }
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].GetType(), DataType(typeid(long)));
    EXPECT_EQ(Read<long>(received[0]), 1L);
    EXPECT_EQ(Read<std::wstring>(received[1]), L"Stop here.");

    const struct {
        std::vector<Value> results;
        bool called;
    } accepted[] = {{{Make(1L)}, true},
                    {{Make(0)}, true},
                    {{Make(0L), Make(0L)}, true},
                    {{}, true},
                    {{Make(0L)}, false}};
    for (const auto& row : accepted) {
        answer(row.results, row.called);
        EXPECT_EQ(context->NotifyScript(L"text", WarningEvent), row.called);
    }
    context->SetEventHandler([](const std::vector<Value>&, std::vector<Value>&) -> bool {
        throw ScriptCancelException();
    });
    EXPECT_THROW(context->NotifyScript(L"text", WarningEvent), ScriptCancelException);
}
