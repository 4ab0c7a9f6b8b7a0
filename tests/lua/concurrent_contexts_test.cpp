// Contexts on several threads at once: once registration is over, each thread runs scripts in a
// context of its own over the shared registries, and another thread may cancel a running script.

#include <VelmorandScript/Lua/LuaHost.h>

#include "support/SampleModule.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace VelmorandScript {
namespace Lua {
namespace {

const int threadCount = 4;
const int contextsPerThread = 4;
const int runsPerContext = 10;

// Everything a script can do with the sample module, each result checked by the script itself;
// `id` differs per thread, so a value that strays into another thread's context shows.
const char* const workload = R"lua(
local warnings = 0
velmorand.on_event(function(kind, text)
    if text:find('precision') then warnings = warnings + 1 end
end)
local wheel = Shapes.Circle.new(2, 'wheel' .. id)
wheel.Radius = 3
assert(math.abs(wheel.Area - 9 * math.pi) < 1e-9 and wheel.Name == 'wheel' .. id)
local door = Shapes.Rectangle.new(1, 2.5, 'door', 'red')
door:Scale(2.5)
assert(warnings == 1, 'the precision warning did not arrive')
door:Move('1.5', id)
local width, height = door:GetSize()
assert(width == 2 and height == 5 and not door:IsSquare() and door.Color == 'red')
assert(door:Describe():find('at %(1.5, ' .. id .. '%)'), door:Describe())
assert(Shapes.Circle.FromDiameter(8).Radius == 4 and Shapes.Circle.Unit().Radius == 1)

local canvas = Shapes.Canvas.new('garden')
canvas:Add(wheel)
canvas:AddAll({door, Shapes.Circle.new(id)})
local visited = 0
canvas:ForEach(function(shape, index) visited = visited + index end)
assert(visited == 6 and canvas:Shapes()[1] == wheel and canvas.Count == 3)
assert(#canvas:Select(function(shape) return shape.Kind == 'circle' end) == 2)
canvas:Restyle({color = 'green', prefix = 'new '})
assert(door.Name == 'new door' and door.Color == 'green')

local numbers = Shapes.Script.Range(id)
numbers:add(10)
assert(#numbers == id + 1 and numbers[id + 1] == 10)
local list = {'a'}
Shapes.Script.Append(list, id)
assert(list[2] == id and Shapes.Script.Sum({1, 2, 3.5}) == 6.5)
function twice(x) return 2 * x end
assert(Shapes.Script.Call('twice', id) == 2 * id)

local ok, message = pcall(canvas.Add, canvas, nil)
assert(not ok and message:find('Expected Shapes::Shape, got nil'), message)
ok, message = pcall(Shapes.Script.Fail, 'failed in ' .. id)
assert(not ok and message:find('failed in ' .. id), message)
ok, message = pcall(canvas.ForEach, canvas, function() error('callback ' .. id) end)
assert(not ok and message:find('callback ' .. id), message)
result = id * 100 + visited
)lua";

std::atomic<bool> g_loopStarted{false};

int SignalLoopStarted(lua_State*) {
    g_loopStarted = true;
    return 0;
}

class ConcurrentContextsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Testing::RegisterSampleModule();
        ClassRegistry::GetInstance().CheckClasses();
    }
};

/// Runs the workload in fresh contexts; the first failure's text, or an empty one.
std::string RunWorkload(long id) {
    for (int round = 0; round < contextsPerThread; ++round) {
        const boost::shared_ptr<LuaContext> context = LuaContext::Create();
        context->SetScriptVariable(L"id", Value(&id));
        for (int run = 0; run < runsPerContext; ++run) {
            const RunResult result = context->RunString(workload, "workload");
            if (result.status != RunStatus::Succeeded) {
                return result.message;
            }
            const Value value = context->GetScriptVariable(L"result");
            if (value.IsEmpty() || GetAs<long>(value) != id * 100 + 6) {
                return "thread " + std::to_string(id) + " read another result";
            }
        }
    }
    return std::string();
}

TEST_F(ConcurrentContextsTest, ScriptsOnSeparateThreadsDisturbNoOtherContext) {
    std::vector<std::future<std::string>> failures;
    for (long id = 1; id <= threadCount; ++id) {
        failures.push_back(std::async(std::launch::async, RunWorkload, id));
    }
    for (std::future<std::string>& failure : failures) {
        EXPECT_EQ(failure.get(), "");
    }
}

TEST_F(ConcurrentContextsTest, CancelFromAnotherThreadEndsTheRunningLoop) {
    const char* const loops[] = {
        "while true do end",
        "while true do Shapes.Circle.Unit():Describe() end",
        "while true do pcall(Shapes.Script.Fail, 'again') end",
        "coroutine.wrap(function() while true do end end)()",
    };
    for (const char* loop : loops) {
        g_loopStarted = false;
        // Shared, so that a loop that never starts leaves no dangling context to cancel.
        std::promise<boost::shared_ptr<LuaContext>> created;
        auto running = created.get_future();
        std::future<RunResult> ended = std::async(std::launch::async, [&created, loop] {
            const boost::shared_ptr<LuaContext> context = LuaContext::Create();
            lua_register(context->GetLuaState(), "started", &SignalLoopStarted);
            created.set_value(context);
            RunResult result =
                context->RunString(std::string("started() ") + loop + " finished = true", "loop");
            if (!context->GetScriptVariable(L"finished").IsEmpty() ||
                context->RunString("x = 1", "after").status != RunStatus::Succeeded) {
                result.message = "the loop went on, or the next run was canceled too";
            }
            return result;
        });
        const boost::shared_ptr<LuaContext> context = running.get();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!g_loopStarted && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(g_loopStarted) << loop;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        context->CancelScript();
        const RunResult result = ended.get();
        EXPECT_EQ(result.status, RunStatus::Terminated) << loop;
        EXPECT_EQ(result.message, "The script was canceled.") << loop;
    }
}

}  // namespace
}  // namespace Lua
}  // namespace VelmorandScript
