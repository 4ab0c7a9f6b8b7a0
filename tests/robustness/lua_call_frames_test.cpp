// Whatever ends a native call dispatched by the Lua host (a ScriptException, a Lua error in a
// callback, a conversion failure, an abort, a cancel), its call frame must be popped again.

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace VelmorandScript {
namespace {

using Lua::LuaContext;
using Lua::RunStatus;

struct FrameProbe {};

/// Probe.Frames.TopLevelIsClean(): true when no frame but the probe's own is on the stack, which
/// holds at the top level of a script whose earlier calls all popped their frames.
void RegisterProbeClass() {
    auto probe = boost::make_shared<Class>(DataType(typeid(FrameProbe)), L"Probe::Frames", nullptr,
                                           L"Robustness", false);
    auto clean = boost::make_shared<NativeFunction>(
        L"TopLevelIsClean", L"Probe::Frames", L"Robustness", true, StaticStyle,
        [](const Value&, std::vector<Value>& arguments) {
            IScriptContext& context = *CastTo<IScriptContext>(&arguments.at(0), true);
            const boost::shared_ptr<IScriptCall> own = context.GetScriptCall();
            context.PopScriptCall();
            const bool clean = !context.GetScriptCall();
            context.PushScriptCall(own);
            arguments.at(1) = Value(&clean);
        });
    clean->AddArgument(Argument(DataType(typeid(IScriptContext)), L"context", L"context",
                                InputArgument, Value(), nullptr));
    clean->AddArgument(
        Argument(DataType(typeid(bool)), L"bool", L"result", ReturnArgument, Value(), nullptr));
    probe->AddFunction(clean);
    ClassRegistry::GetInstance().AddClass(probe);
}

class LuaCallFrames : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StandardConversions::RegisterDataConversions();
        Lua::RegisterHostRoutines();
        void* module = dlopen(VELMORAND_SAMPLE_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto registration = reinterpret_cast<void (*)()>(dlsym(module, "VelmorandRegisterModule"));
        ASSERT_NE(registration, nullptr);
        registration();
        RegisterProbeClass();
        ClassRegistry::GetInstance().CheckClasses();
    }

    /// Runs the script in a new context and checks that no frame is left behind.
    static RunStatus Run(const std::string& script) {
        const auto context = LuaContext::Create();
        const Lua::RunResult result = context->RunString(script, "frames");
        EXPECT_FALSE(context->GetScriptCall()) << "a frame was left on the stack by:\n" << script;
        if (result.status == RunStatus::Failed) {
            std::cerr << "(script failed: " << result.message << ")\n";
        }
        return result.status;
    }
};

TEST_F(LuaCallFrames, ErrorsCaughtByTheScriptPopTheirFrames) {
    ASSERT_EQ(Run("function f() return Probe.Frames.TopLevelIsClean() end\n"
                  "assert(Shapes.Script.Call('f', 1) == false, 'the probe misses the Call frame')"),
              RunStatus::Succeeded);
    const std::string clean = "\nassert(Probe.Frames.TopLevelIsClean(), 'a frame leaked')\n";
    const std::vector<std::string> scripts{
        "assert(not pcall(Shapes.Script.Fail, 'native failure'))",
        "assert(not pcall(Shapes.Script.Int, 'not a number'))",
        "assert(not pcall(Shapes.Circle.new, 'not a radius'))",
        "function f() error('in a callback') end\n"
        "assert(not pcall(Shapes.Script.Call, 'f', 1))",
        "function g() Shapes.Script.Fail('under a callback') end\n"
        "assert(not pcall(Shapes.Script.Call, 'g', 1))",
        "velmorand.on_event(function() error('in the handler') end)\n"
        "pcall(Shapes.Script.Warn, 'a warning')",
        "local co = coroutine.wrap(function() Shapes.Script.Fail('in a coroutine') end)\n"
        "assert(not pcall(co))",
        "for i = 1, 50 do pcall(Shapes.Script.Call, 'nothing' .. i, i) end"};
    for (const std::string& script : scripts) {
        EXPECT_EQ(Run(script + clean), RunStatus::Succeeded) << script;
    }
}

TEST_F(LuaCallFrames, RunsEndedFromNativeCodePopEveryFrame) {
    const std::string abort = "velmorand.on_event(function() return 0 end)\n";
    const std::pair<std::string, RunStatus> rows[] = {
        {"Shapes.Script.Fail('uncaught')", RunStatus::Failed},
        {"function f() Shapes.Script.Fail('uncaught, nested') end Shapes.Script.Call('f', 1)",
         RunStatus::Failed},
        {abort + "Shapes.Script.Warn('abort')", RunStatus::Terminated},
        {abort + "function f() return Shapes.Script.Warn('nested') end pcall(Shapes.Script.Call, "
                 "'f', 1)",
         RunStatus::Terminated},
        {"Shapes.Script.Cancel() while true do end", RunStatus::Terminated},
        {"function f() Shapes.Script.Cancel() end pcall(Shapes.Script.Call, 'f', 1) while true do "
         "end",
         RunStatus::Terminated}};
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.first), row.second) << row.first;
    }
}

}  // namespace
}  // namespace VelmorandScript
