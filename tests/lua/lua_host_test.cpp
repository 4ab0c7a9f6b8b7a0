// The C++ side of the Lua host, beyond what the scripts reach: values from native code, functions
// invoked by value, values outliving the context, how runs end, and the frames of native calls.

#include <VelmorandScript/Lua/LuaHost.h>

#include <boost/make_shared.hpp>

#include "support/SampleModule.h"

#include <gtest/gtest.h>

#include <sys/time.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace VelmorandScript {
namespace Lua {
namespace {

template <class T>
Value Make(const T& value) {
    return Value(&value);
}

struct FrameProbe {};

// What Probe.Frames.Keep kept of its first call: the argument and the call frame.
Value g_keptArgument;
boost::shared_ptr<IScriptCall> g_keptFrame;

/// Probe.Frames.TopLevelIsClean(): true when no frame but the probe's own is on the stack, which
/// holds at the top level of a script whose earlier calls all popped their frames.
/// Probe.Frames.Keep(x) keeps its first argument and frame; Probe.Frames.New() makes an object
/// whose only member is the method Echo(x).
void RegisterProbeClass() {
    const boost::shared_ptr<Class> probe =
        ClassBuilder<FrameProbe>(L"Probe::Frames", L"Test")
            .Static(L"TopLevelIsClean",
                    [](IScriptContext& context) {
                        const boost::shared_ptr<IScriptCall> own = context.GetScriptCall();
                        context.PopScriptCall();
                        const bool clean = !context.GetScriptCall();
                        context.PushScriptCall(own);
                        return clean;
                    })
            .Static(L"New", [] { return boost::make_shared<FrameProbe>(); })
            .Method(L"Echo", [](FrameProbe&, double input) { return input; }, {L"input"})
            .Build();
    // Hand-built: Keep holds on to the argument slot's own Value, to see that the host does not
    // reuse a slot somebody kept; a bound function only sees the number read from it.
    auto keep = boost::make_shared<NativeFunction>(
        L"Keep", L"Probe::Frames", L"Test", false, StaticStyle,
        [](const Value&, std::vector<Value>& arguments) {
            if (!g_keptFrame) {
                g_keptFrame = CastTo<IScriptContext>(&arguments.at(0), true)->GetScriptCall();
                g_keptArgument = arguments.at(1);
            }
        });
    keep->AddArgument(Argument(DataType(typeid(IScriptContext)), L"context", L"context",
                               InputArgument, Value(), nullptr));
    keep->AddArgument(
        Argument(DataType(typeid(double)), L"double", L"x", InputArgument, Value(), nullptr));
    probe->AddFunction(keep);
    ClassRegistry::GetInstance().AddClass(probe);
}

struct Keeper {};

// What Probe.Keeper.Keep kept, for another thread to release.
std::mutex g_keptMutex;
std::vector<Value> g_kept;

/// Probe.Keeper.Keep(x) keeps x for another thread to release. Probe.Keeper.Swallow(f) calls f
/// back and ignores whatever it throws, as careless native code may.
void RegisterKeeperClass() {
    ClassBuilder<Keeper>(L"Probe::Keeper", L"Test")
        .Static(L"Keep",
                [](const Value& value) {
                    const std::lock_guard<std::mutex> lock(g_keptMutex);
                    g_kept.push_back(value);
                },
                {L"value"})
        .Static(L"Swallow",
                [](IScriptContext& context, const Value& callback) {
                    std::vector<Value> results;
                    try {
                        context.CallScriptFunction(callback, {}, false, results);
                    } catch (...) {
                    }
                },
                {Typed(L"callback", L"function")})
        .Register();
}

struct Presented {
    double value;
};

/// A module's own wrapper, which presents another native value than the one it was made for.
class PresentingWrapper : public Object {
public:
    PresentingWrapper(boost::shared_ptr<Class> scriptClass, const Value& made)
        : Object(std::move(scriptClass), made) {}
    Value GetScriptedObject() const override { return Make(Presented{42.0}); }
};

class PresentingClass : public Class {
public:
    using Class::Class;
    boost::shared_ptr<IObject> CreateWrapper(const Value& value) override {
        return boost::make_shared<PresentingWrapper>(shared_from_this(), value);
    }
};

/// Probe.Presenting.New() makes a Presented holding 1, which reaches scripts through
/// PresentingWrapper; its method Read() returns the value of the object it is called on.
void RegisterPresentingClass() {
    ClassRegistry::GetInstance().AddClass(
        ClassBuilder<Presented>(L"Probe::Presenting", L"Test")
            .Static(L"New", [] { return boost::make_shared<Presented>(Presented{1.0}); })
            .Method(L"Read", [](const Presented& presented) { return presented.value; })
            .Build<PresentingClass>());
}

LuaContext* g_cancelOnAlarm = nullptr;

void CancelOnAlarm(int /*signalNumber*/) {
    g_cancelOnAlarm->CancelScript();
}

class LuaHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Testing::RegisterSampleModule();
        RegisterProbeClass();
        RegisterPresentingClass();
        RegisterKeeperClass();
        ClassRegistry::GetInstance().CheckClasses();
    }

    RunStatus Run(const std::string& source) {
        const RunResult result = context->RunString(source, "test");
        EXPECT_FALSE(context->GetScriptCall()) << "a frame was left on the stack by:\n" << source;
        return result.status;
    }

    boost::shared_ptr<LuaContext> context = LuaContext::Create();
};

TEST_F(LuaHostTest, RunsReportHowTheyEndAndValuesCrossAndOutliveTheContextHarmlessly) {
    RunResult result = context->RunString("local function f() error('deep') end f()", "erring");
    EXPECT_EQ(result.status, RunStatus::Failed);
    EXPECT_NE(result.message.find("erring:1: deep\nstack traceback"), std::string::npos)
        << result.message;
    result = context->RunFile("/nonexistent/script.lua", {});
    EXPECT_NE(result.message.find("cannot open"), std::string::npos) << result.message;

    context->CancelScript();
    result = context->RunString("reached = true while true do pcall(function() end) end", "loop");
    EXPECT_EQ(result.status, RunStatus::Terminated);
    EXPECT_EQ(result.message, "The script was canceled.");
    EXPECT_TRUE(context->GetScriptVariable(L"reached").IsEmpty());
    EXPECT_EQ(Run("reached = true"), RunStatus::Succeeded);
    // A cancel from a signal handler (Ctrl-C) stops a coroutine that runs nothing but Lua.
    g_cancelOnAlarm = context.get();
    std::signal(SIGALRM, &CancelOnAlarm);
    itimerval alarm{};
    alarm.it_value.tv_usec = 100000;
    setitimer(ITIMER_REAL, &alarm, nullptr);
    result = context->RunString(
        "local deadline = os.clock() + 5\n"
        "coroutine.wrap(function()\n"
        "    repeat until os.clock() > deadline\n"
        "    spun = true\n"
        "end)()",
        "spin");
    std::signal(SIGALRM, SIG_DFL);
    EXPECT_EQ(result.status, RunStatus::Terminated) << result.message;
    EXPECT_TRUE(context->GetScriptVariable(L"spun").IsEmpty());

    context->SetScriptVariable(L"byte", Make(static_cast<unsigned char>(200)));
    context->SetScriptVariable(L"half", Make(0.5f));
    EXPECT_EQ(Run("assert(math.type(byte) == 'integer' and math.type(half) == 'float')"),
              RunStatus::Succeeded);
    struct Opaque {};  // of no registered class and without a wrapper routine
    EXPECT_THROW(context->SetScriptVariable(L"byte", Make(Opaque{})), ScriptException);

    Run("function sums(a, b) return a + b, a * b end t = {1, 2, 3}");
    const Value function = context->GetScriptVariable(L"sums");
    for (const Value& designation : {function, Make(function)}) {
        std::vector<Value> results;
        ASSERT_TRUE(
            context->InvokeScriptFunction(designation, {Make(2L), Make(5L)}, false, results));
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(GetAs<long>(results[0]) * 100 + GetAs<long>(results[1]), 710);
    }
    std::vector<Value> results;
    EXPECT_FALSE(context->InvokeScriptFunction(Make(std::wstring(L"t")), {}, false, results));

    // Native code edits a table in place; positions out of range are clamped or ignored.
    const Value table = context->GetScriptVariable(L"t");
    IArray& array = *CastTo<IArray>(&table, true);
    array.Insert(-1, Make(std::wstring(L"x")));
    array.Insert(99, Make(std::wstring(L"z")));
    array.Delete(1);
    array.Delete(9);
    array.Replace(9, Value());
    EXPECT_EQ(Run("assert(table.concat(t) == 'x23z', table.concat(t)) assert(byte == 200)"),
              RunStatus::Succeeded);
    context.reset();
    EXPECT_EQ(array.Count(), 0);
    array.Add(Make(1L), false);
}

TEST_F(LuaHostTest, CallsReuseFramesAndArgumentsOnlyWhenKeptByNoneAndPopThemHoweverTheyEnd) {
    ASSERT_EQ(Run("local p = Probe.Frames.New()\n"
                  "Probe.Frames.Keep(1.5) Probe.Frames.Keep(2.5)\n"
                  "assert(Probe.Frames.TopLevelIsClean() and p:Echo(3) == 3.0)\n"
                  "for i = 1, 3 do assert(p:Echo(i + 0.5) == i + 0.5) end\n"
                  "assert(p:Echo('2.5') == 2.5 and p:Echo(1, nil) == 1)\n"
                  "assert(select(2, pcall(p.Echo, p)):find(\"Missing argument 'input'\"))\n"
                  "assert(select(2, pcall(p.Echo, p, 1, 2)):find('Too many arguments'))\n"
                  "local ok, message = pcall(function() return p[1] end)\n"
                  "assert(message:find('indexed by property or method name, not by a number'))"),
              RunStatus::Succeeded);
    EXPECT_EQ(GetAs<double>(g_keptArgument), 1.5);
    ASSERT_TRUE(g_keptFrame);
    EXPECT_EQ(g_keptFrame->GetCalledFunctionName(), L"Probe::Frames::Keep");
    g_keptFrame.reset();
    g_keptArgument = Value();
    // A method is called on what the object's wrapper presents.
    EXPECT_EQ(Run("assert(Probe.Presenting.New():Read() == 42)"), RunStatus::Succeeded);

    // Every way a native call ends pops its frame. The probe sees the frame of a call in
    // progress, so it would see a leaked one.
    ASSERT_EQ(Run("function f() return Probe.Frames.TopLevelIsClean() end\n"
                  "assert(Shapes.Script.Call('f', 1) == false, 'the probe misses the Call frame')"),
              RunStatus::Succeeded);
    const std::string clean = "\nassert(Probe.Frames.TopLevelIsClean(), 'a frame leaked')";
    const std::string nested = "function f() Shapes.Script.";
    const std::pair<std::string, RunStatus> rows[] = {
        {"pcall(Shapes.Script.Fail, 'native failure')" + clean, RunStatus::Succeeded},
        {"pcall(Shapes.Circle.new, 'not a radius')" + clean, RunStatus::Succeeded},
        {nested + "Fail('under a callback') end pcall(Shapes.Script.Call, 'f', 1)" + clean,
         RunStatus::Succeeded},
        {"velmorand.on_event(function() error('in the handler') end)\n"
         "pcall(Shapes.Script.Warn, 'a warning')" +
             clean,
         RunStatus::Succeeded},
        {"pcall(coroutine.wrap(function() Shapes.Script.Fail('in a coroutine') end))" + clean,
         RunStatus::Succeeded},
        {nested + "Fail('uncaught') end Shapes.Script.Call('f', 1)", RunStatus::Failed},
        // A handler's 0 aborts the script; neither pcall nor xpcall can stop it.
        {"velmorand.on_event(function() return 0 end)\n" + nested +
             "Warn('aborts') end xpcall(Shapes.Script.Call, print, 'f', 1)",
         RunStatus::Terminated},
        {nested + "Cancel() end pcall(Shapes.Script.Call, 'f', 1) while true do end",
         RunStatus::Terminated}};
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.first), row.second) << row.first;
    }
}

TEST_F(LuaHostTest, AbortsEndTheScriptWhateverStandsBetweenTheHandlerAndTheHost) {
    const std::string aborting = "velmorand.on_event(function() return 0 end)\n";
    const std::string rows[] = {
        // Lua swallows the errors of finalizers.
        aborting +
            "setmetatable({}, {__gc = function() Shapes.Script.Warn('in a finalizer') end})\n"
            "collectgarbage() collectgarbage()",
        // coroutine.close hands the errors of __close handlers back as values.
        aborting +
            "local co = coroutine.create(function()\n"
            "    local x <close> = setmetatable({}, {__close = function()\n"
            "        Shapes.Script.Warn('in a __close handler') end})\n"
            "    coroutine.yield()\n"
            "end)\n"
            "coroutine.resume(co) print(coroutine.close(co))",
        // Native code between the callback and the host catches everything.
        aborting + "Probe.Keeper.Swallow(function() Shapes.Script.Warn('swallowed') end)",
        "Probe.Keeper.Swallow(function() Shapes.Script.Cancel() end)"};
    for (const std::string& row : rows) {
        const std::string source = row + "\nreached = true";
        const RunResult result = context->RunString(source, "abort");
        EXPECT_EQ(result.status, RunStatus::Terminated) << source << "\n" << result.message;
        EXPECT_TRUE(context->GetScriptVariable(L"reached").IsEmpty()) << source;
    }
}

TEST_F(LuaHostTest, ValuesReleasedOnOtherThreadsNeverTouchTheState) {
    std::atomic<bool> running{true};
    std::thread releaser([&running] {
        while (running) {
            std::vector<Value> released;
            {
                const std::lock_guard<std::mutex> lock(g_keptMutex);
                released.swap(g_kept);
            }
            released.clear();  // the last references to Lua functions and tables go here
            std::this_thread::yield();
        }
    });
    const RunResult result = context->RunString(
        "for i = 1, 20000 do\n"
        "    Probe.Keeper.Keep(function() return i end)\n"
        "    Probe.Keeper.Keep({i, tostring(i)})\n"
        "    Probe.Keeper.Keep({name = i})\n"
        "    local c = Shapes.Circle.new(i)\n"
        "    assert(c.Radius == i and Shapes.Script.Echo(i) == i, 'the state is intact')\n"
        "end",
        "release");
    running = false;
    releaser.join();
    EXPECT_EQ(result.status, RunStatus::Succeeded) << result.message;
    g_kept.clear();
    // What the other thread released is freed at the next call into native code.
    EXPECT_EQ(Run("assert(Shapes.Script.Echo(1) == 1) collectgarbage()"), RunStatus::Succeeded);
}

}  // namespace
}  // namespace Lua
}  // namespace VelmorandScript
