// Calls from a Lua script through the Lua host, against the same calls bound by hand with the Lua
// C API (checked arguments), and against a bare C function (the limit): a method described by
// hand and with ClassBuilder, a property read, a static function and a constructor. Each
// iteration runs a script making many calls; the counter "calls" lets the ratio table report the
// time of one call.

#include "AllocationCounter.h"

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <boost/make_shared.hpp>

#include <cstring>
#include <new>
#include <string>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;

constexpr int kCallsPerRun = 1000000;
// Each construction leaves an object for the collector: fewer per run keep a run short.
constexpr int kConstructionsPerRun = 100000;
// Ends a run of constructions: Lua runs finalizers at a limited pace, so without a full
// collection the objects of one run pile up into the next and every run takes longer.
const char* const kCollect = "collectgarbage()\n";

struct Calculator {
    double Add(double a, double b) const { return a + b; }
};

/// Add(double a, double b) -> double on a Calculator, as a module binds it.
class CalculatorAdd : public Function {
public:
    CalculatorAdd() : Function(L"Add", L"Bench::Calculator", L"Bench", true, InstanceStyle) {
        const DataType number(typeid(double));
        AddArgument(Argument(number, L"double", L"a", InputArgument, Value(), nullptr));
        AddArgument(Argument(number, L"double", L"b", InputArgument, Value(), nullptr));
        AddArgument(Argument(number, L"double", L"result", ReturnArgument, Value(), nullptr));
    }

    void Invoke(const Value& object, std::vector<Value>& arguments) const override {
        const Calculator* calculator = CastTo<Calculator>(&object, true);
        const double sum =
            calculator->Add(GetAs<double>(arguments[0]), GetAs<double>(arguments[1]));
        arguments[2] = Value(&sum);
    }
};

/// Bench.Calculator.new() -> Calculator.
class CalculatorConstructor : public Function {
public:
    CalculatorConstructor()
        : Function(L"Calculator", L"Bench::Calculator", L"Bench", false, ConstructorStyle) {
        AddArgument(Argument(DataType(typeid(Calculator)), L"Bench::Calculator", L"result",
                             ReturnArgument, Value(), nullptr));
    }

    void Invoke(const Value& /*object*/, std::vector<Value>& arguments) const override {
        arguments[0] = Value(boost::make_shared<Calculator>());
    }
};

void RegisterCalculatorClass() {
    static const bool registered = [] {
        StandardConversions::RegisterDataConversions();
        Lua::RegisterHostRoutines();
        auto calculator = boost::make_shared<Class>(DataType(typeid(Calculator)),
                                                    L"Bench::Calculator", nullptr, L"Bench", false);
        calculator->AddFunction(boost::make_shared<CalculatorConstructor>());
        calculator->AddFunction(boost::make_shared<CalculatorAdd>());
        ClassRegistry::GetInstance().AddClass(calculator);
        ClassRegistry::GetInstance().CheckClasses();
        return true;
    }();
    (void)registered;
}

void ReportCalls(benchmark::State& state, std::uint64_t allocationsBefore,
                 int calls = kCallsPerRun) {
    state.counters["calls"] = calls;
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(AllocationCount() - allocationsBefore) / calls,
                           benchmark::Counter::kAvgIterations);
}

/// Runs `script` in a host context once per iteration.
void RunHostScript(benchmark::State& state, const std::string& script, int calls) {
    if (IsScripLoggingEnabled()) {
        state.SkipWithError("unset ENABLE_SCRIPT_LOGGING: the pair is measured with logging off");
        return;
    }
    const boost::shared_ptr<Lua::LuaContext> context = Lua::LuaContext::Create();
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const Lua::RunResult result = context->RunString(script, "host_script");
        if (result.status != Lua::RunStatus::Succeeded) {
            state.SkipWithError(result.message.c_str());
            break;
        }
    }
    ReportCalls(state, allocations, calls);
}

std::string Loop(int count, const std::string& body) {
    return "for i = 1, " + std::to_string(count) + " do " + body + " end\n";
}

void BM_LuaHostAdd(benchmark::State& state) {
    RegisterCalculatorClass();
    RunHostScript(state,
                  "local obj = Bench.Calculator.new()\n" + Loop(kCallsPerRun, "obj:Add(i, 2)"),
                  kCallsPerRun);
}
BENCHMARK(BM_LuaHostAdd);

// The same members described with ClassBuilder.

struct TypedCalculator {
    double Add(double a, double b) const { return a + b; }
};

struct Circle {
    explicit Circle(double r) : radius(r) {}
    double GetRadius() const { return radius; }
    double radius;
};

void RegisterBuilderClasses() {
    static const bool registered = [] {
        StandardConversions::RegisterDataConversions();
        Lua::RegisterHostRoutines();
        ClassBuilder<TypedCalculator>(L"Bench::TypedCalculator", L"Bench")
            .Constructor<>()
            .Method(L"Add", &TypedCalculator::Add, {L"a", L"b"})
            .Static(L"Twice", [](double x) { return 2 * x; }, {L"x"})
            .Register();
        ClassBuilder<Circle>(L"Bench::Circle", L"Bench")
            .Constructor<double>({L"radius"})
            .ReadOnly(L"Radius", &Circle::GetRadius)
            .Register();
        ClassRegistry::GetInstance().CheckClasses();
        return true;
    }();
    (void)registered;
}

void BM_LuaBuilderAdd(benchmark::State& state) {
    RegisterBuilderClasses();
    RunHostScript(state,
                  "local obj = Bench.TypedCalculator.new()\n" + Loop(kCallsPerRun, "obj:Add(i, 2)"),
                  kCallsPerRun);
}
BENCHMARK(BM_LuaBuilderAdd);

void BM_LuaBuilderRead(benchmark::State& state) {
    RegisterBuilderClasses();
    RunHostScript(state,
                  "local obj = Bench.Circle.new(1)\nlocal sum = 0\n" +
                      Loop(kCallsPerRun, "sum = sum + obj.Radius"),
                  kCallsPerRun);
}
BENCHMARK(BM_LuaBuilderRead);

void BM_LuaBuilderStatic(benchmark::State& state) {
    RegisterBuilderClasses();
    RunHostScript(state,
                  "local Calc = Bench.TypedCalculator\nlocal sum = 0\n" +
                      Loop(kCallsPerRun, "sum = sum + Calc.Twice(i)"),
                  kCallsPerRun);
}
BENCHMARK(BM_LuaBuilderStatic);

void BM_LuaBuilderNew(benchmark::State& state) {
    RegisterBuilderClasses();
    RunHostScript(state, Loop(kConstructionsPerRun, "local c = Bench.Circle.new(1)") + kCollect,
                  kConstructionsPerRun);
}
BENCHMARK(BM_LuaBuilderNew);

const char* const kCalculatorMetatable = "Bench.Calculator";

int CheckedAdd(lua_State* state) {
    const auto* calculator =
        static_cast<const Calculator*>(luaL_checkudata(state, 1, kCalculatorMetatable));
    const double a = luaL_checknumber(state, 2);
    const double b = luaL_checknumber(state, 3);
    lua_pushnumber(state, calculator->Add(a, b));
    return 1;
}

int NewCalculator(lua_State* state) {
    new (lua_newuserdatauv(state, sizeof(Calculator), 0)) Calculator();
    luaL_setmetatable(state, kCalculatorMetatable);
    return 1;
}

int RawAdd(lua_State* state) {
    lua_pushnumber(state, lua_tonumber(state, 1) + lua_tonumber(state, 2));
    return 1;
}

const char* const kCircleMetatable = "Bench.Circle";

// A Circle userdata holds the object as the host does: by a shared pointer.
typedef boost::shared_ptr<Circle> CircleHolder;

int NewCircle(lua_State* state) {
    const double radius = luaL_checknumber(state, 1);
    auto* holder = new (lua_newuserdatauv(state, sizeof(CircleHolder), 0)) CircleHolder();
    luaL_setmetatable(state, kCircleMetatable);
    *holder = boost::make_shared<Circle>(radius);
    return 1;
}

int CollectCircle(lua_State* state) {
    static_cast<CircleHolder*>(luaL_checkudata(state, 1, kCircleMetatable))->~CircleHolder();
    return 0;
}

// __index (upvalue: the table of methods): the property Radius, else a method.
int IndexCircle(lua_State* state) {
    const auto* holder =
        static_cast<const CircleHolder*>(luaL_checkudata(state, 1, kCircleMetatable));
    std::size_t length = 0;
    const char* key = luaL_checklstring(state, 2, &length);
    if (length == 6 && std::memcmp(key, "Radius", 6) == 0) {
        lua_pushnumber(state, (*holder)->GetRadius());
        return 1;
    }
    lua_pushvalue(state, 2);
    lua_rawget(state, lua_upvalueindex(1));
    return 1;
}

int CheckedTwice(lua_State* state) {
    lua_pushnumber(state, 2 * luaL_checknumber(state, 1));
    return 1;
}

/// A Lua state with the hand-written bindings: Calculator.new() and its method Add, add,
/// Calc.Twice, and Bench.Circle.new() with the property Radius.
lua_State* NewBoundState() {
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    luaL_newmetatable(state, kCalculatorMetatable);
    lua_newtable(state);
    lua_pushcfunction(state, &CheckedAdd);
    lua_setfield(state, -2, "Add");
    lua_setfield(state, -2, "__index");
    lua_pop(state, 1);
    lua_newtable(state);
    lua_pushcfunction(state, &NewCalculator);
    lua_setfield(state, -2, "new");
    lua_setglobal(state, "Calculator");
    lua_register(state, "add", &RawAdd);

    lua_newtable(state);
    lua_pushcfunction(state, &CheckedTwice);
    lua_setfield(state, -2, "Twice");
    lua_setglobal(state, "Calc");

    luaL_newmetatable(state, kCircleMetatable);
    lua_pushcfunction(state, &CollectCircle);
    lua_setfield(state, -2, "__gc");
    lua_newtable(state);  // the methods: none
    lua_pushcclosure(state, &IndexCircle, 1);
    lua_setfield(state, -2, "__index");
    lua_pop(state, 1);
    lua_newtable(state);
    lua_newtable(state);
    lua_pushcfunction(state, &NewCircle);
    lua_setfield(state, -2, "new");
    lua_setfield(state, -2, "Circle");
    lua_setglobal(state, "Bench");
    return state;
}

/// Runs `script` in a state with the hand-written bindings once per iteration.
void RunBoundScript(benchmark::State& state, const std::string& script, int calls) {
    lua_State* lua = NewBoundState();
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        if (luaL_dostring(lua, script.c_str())) {
            state.SkipWithError(lua_tostring(lua, -1));
            break;
        }
    }
    ReportCalls(state, allocations, calls);
    lua_close(lua);
}

void BM_LuaCheckedAdd(benchmark::State& state) {
    RunBoundScript(state, "local obj = Calculator.new()\n" + Loop(kCallsPerRun, "obj:Add(i, 2)"),
                   kCallsPerRun);
}
BENCHMARK(BM_LuaCheckedAdd);

void BM_LuaRawAdd(benchmark::State& state) {
    RunBoundScript(state, "local add = add\n" + Loop(kCallsPerRun, "add(i, 2)"), kCallsPerRun);
}
BENCHMARK(BM_LuaRawAdd);

void BM_LuaCheckedRead(benchmark::State& state) {
    RunBoundScript(state,
                   "local obj = Bench.Circle.new(1)\nlocal sum = 0\n" +
                       Loop(kCallsPerRun, "sum = sum + obj.Radius"),
                   kCallsPerRun);
}
BENCHMARK(BM_LuaCheckedRead);

void BM_LuaCheckedStatic(benchmark::State& state) {
    RunBoundScript(
        state,
        "local Calc = Calc\nlocal sum = 0\n" + Loop(kCallsPerRun, "sum = sum + Calc.Twice(i)"),
        kCallsPerRun);
}
BENCHMARK(BM_LuaCheckedStatic);

void BM_LuaCheckedNew(benchmark::State& state) {
    RunBoundScript(state, Loop(kConstructionsPerRun, "local c = Bench.Circle.new(1)") + kCollect,
                   kConstructionsPerRun);
}
BENCHMARK(BM_LuaCheckedNew);

}  // namespace

BENCHMARK_MAIN();
