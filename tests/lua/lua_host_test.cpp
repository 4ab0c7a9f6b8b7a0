// The C++ side of the Lua host: values through GetScriptVariable / SetScriptVariable, calls
// through InvokeScriptFunction, Lua tables behind the array and hash interfaces, and how runs end.

#include <VelmorandScript/Lua/LuaHost.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace VelmorandScript {
namespace Lua {
namespace {

class LuaHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StandardConversions::RegisterDataConversions();
        RegisterHostRoutines();
    }

    void SetUp() override { context = LuaContext::Create(); }

    void Run(const std::string& source) {
        const RunResult result = context->RunString(source, "test");
        ASSERT_EQ(result.status, RunStatus::Succeeded) << result.message;
    }

    Value Global(const wchar_t* name) { return context->GetScriptVariable(name); }

    boost::shared_ptr<LuaContext> context;
};

template <class T>
Value Make(const T& value) {
    return Value(&value);
}

TEST_F(LuaHostTest, ValuesCrossInBothDirectionsAndUnwrappableOnesAreRefused) {
    Run("i = -5 big = 2^40 // 1 f = 1.5 s = 'grüße' b = true t = {1, 2} h = {a = 1}");

    EXPECT_EQ(Global(L"i").GetType(), DataType(typeid(long)));
    EXPECT_EQ(GetAs<long>(Global(L"i")), -5);
    EXPECT_EQ(Global(L"big").GetType(), DataType(typeid(double)));  // beyond 32 bits
    EXPECT_EQ(GetAs<double>(Global(L"big")), 1099511627776.0);
    EXPECT_EQ(GetAs<double>(Global(L"f")), 1.5);
    EXPECT_EQ(GetAs<std::wstring>(Global(L"s")), L"gr\u00fc\u00dfe");
    EXPECT_TRUE(GetAs<bool>(Global(L"b")));
    EXPECT_TRUE(Global(L"nothing").IsEmpty());

    const Value table = Global(L"t");
    ASSERT_EQ(table.GetType(), DataType(typeid(IArray)));
    EXPECT_EQ(CastTo<IArray>(&table, true)->Count(), 2);
    EXPECT_EQ(GetAs<long>(CastTo<IArray>(&table, true)->Item(1)), 2);
    const Value hash = Global(L"h");
    ASSERT_EQ(hash.GetType(), DataType(typeid(IHash)));
    EXPECT_EQ(GetAs<long>(CastTo<IHash>(&hash, true)->Item(L"a")), 1);

    context->SetScriptVariable(L"n", Make(7));
    context->SetScriptVariable(L"byte", Make(static_cast<unsigned char>(200)));
    context->SetScriptVariable(L"half", Make(0.5f));
    context->SetScriptVariable(L"text", Make(std::wstring(L"\u4e16\u754c")));
    context->SetScriptVariable(L"yes", Make(true));
    context->SetScriptVariable(L"b", Make(true));
    context->SetScriptVariable(L"b", Value());
    Run("assert(math.type(n) == 'integer' and n == 7) "
        "assert(math.type(byte) == 'integer' and byte == 200) "
        "assert(math.type(half) == 'float' and half == 0.5) "
        "assert(text == '世界') assert(yes == true) assert(b == nil)");

    struct Opaque {
        int field;
    };
    EXPECT_THROW(context->SetScriptVariable(L"i", Make(Opaque{3})), ScriptException);
    Run("assert(i == -5)");  // the global kept
}

TEST_F(LuaHostTest, InvokesFunctionsByValueByNameAndBoxedAndThrowsTheirErrors) {
    Run("function sums(a, b) return a + b, a * b end number = 3");
    const Value function = Global(L"sums");
    const Value byName = Make(std::wstring(L"sums"));
    const Value boxed = Make(function);
    for (const Value* designation : {&function, &byName, &boxed}) {
        std::vector<Value> results;
        ASSERT_TRUE(
            context->InvokeScriptFunction(*designation, {Make(2L), Make(5L)}, false, results));
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(GetAs<long>(results[0]), 7);
        EXPECT_EQ(GetAs<long>(results[1]), 10);
    }

    std::vector<Value> results;
    EXPECT_FALSE(context->InvokeScriptFunction(Global(L"number"), {}, false, results));
    EXPECT_FALSE(context->InvokeScriptFunction(Value(), {}, false, results));
    EXPECT_FALSE(context->InvokeScriptFunction(Make(std::wstring(L"missing")), {}, false, results));
    EXPECT_TRUE(results.empty());

    Run("function fails() error('no luck', 0) end");
    try {
        context->InvokeScriptFunction(Global(L"fails"), {}, false, results);
        FAIL() << "no exception";
    } catch (const ScriptException& error) {
        EXPECT_EQ(error.GetExceptionMessage(), L"no luck");
    }
    Run("assert(true)");  // the state is usable afterwards
}

TEST_F(LuaHostTest, ASequenceBehavesLikeAnArrayAndChangesTheTable) {
    Run("t = {'a', 'b'}");
    const Value table = Global(L"t");
    IArray& array = *CastTo<IArray>(&table, true);

    array.Insert(-1, Make(std::wstring(L"x")));  // before the start: first
    array.Insert(99, Make(std::wstring(L"z")));  // past the end: last
    Run("assert(table.concat(t) == 'xabz', table.concat(t))");
    array.Delete(4);
    array.Replace(4, Value());
    array.Delete(0);
    array.Add(Make(std::wstring(L"w")), true);
    array.Replace(3, Make(7L));
    Run("assert(table.concat(t) == 'wab7', table.concat(t))");
    EXPECT_TRUE(array.Item(4).IsEmpty());
    EXPECT_TRUE(array.Item(-1).IsEmpty());
    EXPECT_EQ(GetAs<std::wstring>(array.Item(0)), L"w");

    array.Clear();
    EXPECT_TRUE(array.IsEmpty());
    Run("assert(#t == 0 and next(t) == nil)");
}

TEST_F(LuaHostTest, ATableWithKeysBehavesLikeAHashOfItsStringKeys) {
    Run("h = {x = 1, y = 2, z = 3, [1] = 'not a string key'}");
    const Value table = Global(L"h");
    IHash& hash = *CastTo<IHash>(&table, true);

    std::set<std::wstring> keys;
    for (std::wstring key = hash.FirstKey(); !key.empty(); key = hash.NextKey(key)) {
        EXPECT_TRUE(keys.insert(key).second) << "visited twice";
    }
    EXPECT_EQ(keys, (std::set<std::wstring>{L"x", L"y", L"z"}));
    EXPECT_EQ(hash.Count(), 3);
    EXPECT_EQ(hash.NextKey(L"absent"), L"");
    EXPECT_FALSE(hash.Exists(L"1"));

    hash.Delete(L"y");
    hash.Insert(L"w", Make(std::wstring(L"new")));
    EXPECT_EQ(hash.Count(), 3);
    Run("assert(h.y == nil and h.w == 'new' and h[1] ~= nil)");
    hash.Clear();
    Run("assert(h.x == nil and h[1] ~= nil)");
}

TEST_F(LuaHostTest, ValuesKeptByNativeCodeOutliveTheContextHarmlessly) {
    Run("t = {1, 2, 3} f = function() end");
    const Value table = Global(L"t");
    Value function = Global(L"f");
    context.reset();

    IArray& array = *CastTo<IArray>(&table, true);
    EXPECT_EQ(array.Count(), 0);
    EXPECT_TRUE(array.Item(0).IsEmpty());
    array.Add(Make(1L), false);
    function = Value();  // releases its reference without touching the closed state
}

TEST_F(LuaHostTest, RunsReportHowTheyEndedAndACancelIsForgottenAfterwards) {
    RunResult result = context->RunString("this is not Lua", "broken");
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find("broken:1:"), std::string::npos) << result.message;

    result = context->RunString("local function inner() error('deep') end inner()", "erring");
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find("erring:1: deep"), std::string::npos) << result.message;
    EXPECT_NE(result.message.find("stack traceback"), std::string::npos) << result.message;

    result = context->RunFile("/nonexistent/script.lua", {});
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find("cannot open"), std::string::npos) << result.message;

    // A cancel before the run stops it and is then forgotten.
    context->CancelScript();
    EXPECT_TRUE(context->IsCancelRequested());
    result = context->RunString("reached = true while true do pcall(function() end) end", "loop");
    EXPECT_EQ(result.status, RunStatus::Terminated);
    EXPECT_EQ(result.message, "The script was canceled.");
    EXPECT_FALSE(context->IsCancelRequested());
    EXPECT_TRUE(Global(L"reached").IsEmpty());
    Run("reached = true");
}

}  // namespace
}  // namespace Lua
}  // namespace VelmorandScript
