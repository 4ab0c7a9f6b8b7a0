// Allocation failures at every point of a script that calls native functions of every kind:
// Lua's own allocations (as when an embedder caps Lua's memory) and C++ allocations. At each
// point the run must end cleanly (the script sees "not enough memory", or the point was
// harmless), with no call frame left, no exception left current, every native object released
// once the context closes, and no leak (LeakSanitizer, in the sanitizer build).

#include <VelmorandScript/Lua/LuaHost.h>

#include <lua.hpp>

#include "support/SampleModule.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstddef>
#include <exception>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace VelmorandScript {
namespace Testing {
void ArmAllocationFailure(std::size_t failingAllocation);
bool DisarmAllocationFailure();
}  // namespace Testing

namespace Lua {
namespace {

// A std::string already, so that passing it allocates nothing.
const std::string everyCallKind = R"(
velmorand.on_event(function(kind, text) warned = (warned or 0) + 1 end)
local circle = Shapes.Circle.new(2, "wheel")
circle.Radius = 3
local area = circle.Area + circle.X
circle:Move(1, 2.5)
circle:Scale(2.5)
local text = circle:Describe() .. circle:Description() .. tostring(circle)
pcall(circle.Rotate, circle)
local unit = Shapes.Circle.Unit()
local canvas = Shapes.Canvas.new("board")
canvas:AddAll({circle, unit, Shapes.Rectangle.new(1, 2)})
local names = canvas:Names()
for i, shape in ipairs(canvas:Shapes()) do text = text .. shape.Name .. names[i] end
canvas:ForEach(function(shape, i) return shape.Area end)
canvas:Select(function(shape) return shape.Area > 3 end)
pcall(canvas.ForEach, canvas, function() error({code = 1}) end)
canvas:Restyle({color = "blue", prefix = "x"})
local keys = Shapes.Script.Keys({a = 1, [""] = 2, ["\xff"] = 3})
local list = {"x"}
Shapes.Script.Append(list, canvas)
pcall(Shapes.Script.Fail, "native failure")
pcall(Shapes.Script.Int, "not a number")
pcall(Shapes.Script.Int, function() end)
local echoed = Shapes.Script.Echo("text \xff") .. Shapes.Script.Sum({1, 2.5})
local co = coroutine.wrap(function() coroutine.yield(Shapes.Circle.new(1).Area) end)
co()
for _, f in ipairs(velmorand.class("Shapes::Circle"):functions()) do text = text .. f.name end
local numbers = Shapes.Script.Range(3)
numbers[4] = 4
for i, n in pairs(numbers) do area = area + n end
)";

// Runs first, in a process of its own under ctest: the host's registrations are process-wide.
TEST(HostRegistrationTest, RegistrationThatFailedHalfWayIsCompletedByTheNextCall) {
    StandardConversions::RegisterDataConversions();
    // Each call fails one allocation later than the one before, until one gets through.
    std::size_t failures = 0;
    for (std::size_t point = 1;; ++point) {
        Testing::ArmAllocationFailure(point);
        try {
            RegisterHostRoutines();
        } catch (const std::bad_alloc&) {
            ++failures;
        }
        if (!Testing::DisarmAllocationFailure()) {
            break;
        }
    }
    EXPECT_GT(failures, 10u);
    for (const wchar_t* name : {L"VelmorandScript::Array", L"VelmorandScript::Class",
                                L"VelmorandScript::Function", L"VelmorandScript::Argument"}) {
        EXPECT_TRUE(ClassRegistry::GetInstance().FindClassByScriptName(name)) << name;
    }
    ClassRegistry::GetInstance().CheckClasses();
    auto context = LuaContext::Create();
    const RunResult result = context->RunString(
        "assert(#velmorand.classes() >= 4 and velmorand.class('VelmorandScript::Array'))", "retry");
    EXPECT_EQ(result.status, RunStatus::Succeeded) << result.message;
}

// Lua's allocator, failing every allocation from the armed one on, as a capped heap does.
// Shrinking never fails: Lua relies on it.
struct LuaAllocationCap {
    lua_Alloc original = nullptr;
    void* originalData = nullptr;
    std::size_t count = 0;
    std::size_t failing = 0;  // 0: disarmed
    bool triggered = false;

    static void* Allocate(void* data, void* block, std::size_t oldSize, std::size_t newSize) {
        auto& cap = *static_cast<LuaAllocationCap*>(data);
        const bool grows = newSize != 0 && (block == nullptr || newSize > oldSize);
        if (grows && cap.failing != 0 && ++cap.count >= cap.failing) {
            cap.triggered = true;
            return nullptr;
        }
        return cap.original(cap.originalData, block, oldSize, newSize);
    }
};

long (*g_liveObjects)() = nullptr;
const std::string chunkName = "every call kind";

class AllocationFailureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        void* module = Testing::RegisterSampleModule();
        g_liveObjects = reinterpret_cast<long (*)()>(dlsym(module, "VelmorandShapesLiveObjects"));
        ASSERT_NE(g_liveObjects, nullptr);
        ClassRegistry::GetInstance().CheckClasses();
    }

    // What every point must leave: the run ended as it may, no frame, no current exception,
    // and, once the context is gone, no native object.
    static void CheckPoint(std::size_t point, const RunResult& result,
                           boost::shared_ptr<LuaContext>& context) {
        if (result.status != RunStatus::Succeeded) {
            EXPECT_NE(result.message.find("not enough memory"), std::string::npos)
                << "point " << point << ": " << result.message;
        }
        EXPECT_FALSE(context->GetScriptCall()) << "point " << point << " left a frame";
        EXPECT_FALSE(std::current_exception()) << "point " << point << " left an exception";
        context.reset();
        EXPECT_EQ(g_liveObjects(), 0) << "point " << point << " kept native objects alive";
    }

    /// Runs the script in a new context for each point 1, 2, ... that `runAt` makes fail, until
    /// a run no longer reaches its point; returns how many points failed.
    template <class RunAt>
    static std::size_t Sweep(RunAt runAt) {
        for (std::size_t point = 1;; ++point) {
            auto context = LuaContext::Create();
            bool triggered = false;
            const RunResult result = runAt(*context, point, triggered);
            CheckPoint(point, result, context);
            if (!triggered) {
                EXPECT_EQ(result.status, RunStatus::Succeeded) << result.message;
                return point - 1;
            }
        }
    }

    static void ExpectNoLeak() {
#if defined(__SANITIZE_ADDRESS__)
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
    }
};

TEST_F(AllocationFailureTest, EveryFailingLuaAllocationEndsTheRunWithNothingLeft) {
    const std::size_t points = Sweep([](LuaContext& context, std::size_t point, bool& triggered) {
        lua_State* state = context.GetLuaState();
        LuaAllocationCap cap;
        cap.original = lua_getallocf(state, &cap.originalData);
        cap.failing = point;
        lua_setallocf(state, &LuaAllocationCap::Allocate, &cap);
        const RunResult result = context.RunString(everyCallKind, chunkName);
        lua_setallocf(state, cap.original, cap.originalData);  // closing may allocate freely
        triggered = cap.triggered;
        return result;
    });
    EXPECT_GT(points, 100u);
    ExpectNoLeak();
}

TEST_F(AllocationFailureTest, EveryFailingNativeAllocationEndsTheRunWithNothingLeft) {
    const std::size_t points = Sweep([](LuaContext& context, std::size_t point, bool& triggered) {
        Testing::ArmAllocationFailure(point);
        const RunResult result = context.RunString(everyCallKind, chunkName);
        triggered = Testing::DisarmAllocationFailure();
        return result;
    });
    EXPECT_GT(points, 100u);
    ExpectNoLeak();
}

// Lua skips a finalizer it cannot call (here: the script took the metatable away; above: memory
// ran out while calling __gc) and frees the userdata without it. The object must still be
// released, at the latest when the context closes.
TEST_F(AllocationFailureTest, ObjectsWhoseFinalizerLuaSkippedAreReleasedWhenTheContextCloses) {
    auto context = LuaContext::Create();
    const RunResult result = context->RunString(R"(
        local circle = Shapes.Circle.new(1)
        debug.setmetatable(circle, nil)
        circle = nil
        collectgarbage()
        collectgarbage()
    )",
                                                "finalizer skipped");
    ASSERT_EQ(result.status, RunStatus::Succeeded) << result.message;
    context.reset();
    EXPECT_EQ(g_liveObjects(), 0);
}

}  // namespace
}  // namespace Lua
}  // namespace VelmorandScript
