#include "support/TestHost.h"

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

    void SetUp() override { context->PushScriptCall(boost::make_shared<TestScriptCall>(L"F")); }

    /// A script function that records its arguments and answers `results` (and `called`).
    Value Answering(std::vector<Value> results, bool called = true) {
        return Make(ScriptFunction(
            [this, results, called](const std::vector<Value>& arguments, std::vector<Value>& out) {
                received = arguments;
                out = results;
                return called;
            }));
    }

    boost::shared_ptr<TestScriptContext> context = TestScriptContext::Create();
    std::vector<Value> received;
};

}  // namespace

TEST_F(ScriptContextTest, CallsWrapEveryArgumentOnlyWithinACallInProgress) {
    const Value function = Answering({Make(3L)}, false);
    const std::vector<Value> arguments{Make(Token()), Make(5L)};
    std::vector<Value> results{Make(7L)};
    // Outside any call, and with an argument no wrapper applies to, nothing is called.
    const auto idle = TestScriptContext::Create();
    EXPECT_FALSE(idle->CallScriptFunction(function, arguments, true, results));
    EXPECT_FALSE(
        context->CallScriptFunction(function, {Make(1L), Make(Unwrappable())}, true, results));
    EXPECT_TRUE(context->invokedFlags.empty());
    EXPECT_EQ(Read<long>(results.at(0)), 7L);

    EXPECT_FALSE(context->CallScriptFunction(function, arguments, true, results));
    EXPECT_EQ(context->invokedFlags, std::vector<bool>{true});
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(Read<std::wstring>(received[0]), L"token");
    EXPECT_EQ(g_tokenWrapperContext, context.get());
    EXPECT_EQ(Read<long>(results.at(0)), 3L);

    // The stack: a copy has its own, an empty frame is a call in progress too, and a pop without
    // a push is an error. A copy is not owned by a shared pointer: it cannot wrap arguments.
    idle->PushScriptCall(nullptr);
    TestScriptContext copy(*idle);
    EXPECT_TRUE(idle->CallScriptFunction(Answering({}), {}, false, results));
    idle->PopScriptCall();
    EXPECT_EQ(ScriptErrorText([&] { idle->PopScriptCall(); }),
              L"PopScriptCall was called with no script call in progress; every PopScriptCall "
              L"must match an earlier PushScriptCall.");
    EXPECT_THROW(copy.CallScriptFunction(function, {Make(1L)}, false, results),
                 boost::bad_weak_ptr);
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
    } accepted[] = {
        {{Make(0)}, true}, {{Make(0L), Make(0L)}, true}, {{}, true}, {{Make(0L)}, false}};
    for (const auto& row : accepted) {
        answer(row.results, row.called);
        EXPECT_EQ(context->NotifyScript(L"text", WarningEvent), row.called);
    }
    context->SetEventHandler([](const std::vector<Value>&, std::vector<Value>&) -> bool {
        throw ScriptCancelException();
    });
    EXPECT_THROW(context->NotifyScript(L"text", WarningEvent), ScriptCancelException);
}
