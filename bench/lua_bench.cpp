// A method called from a Lua script through the Lua host, against the same method bound by hand
// with the Lua C API (checked arguments), and against a bare C function (the limit). Each
// iteration runs a script making a million calls; the counter "calls" lets the ratio table
// report the time of one call.

#include "AllocationCounter.h"

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <benchmark/benchmark.h>
#include <lua.hpp>

#include <boost/make_shared.hpp>

#include <new>
#include <string>

namespace {

using namespace VelmorandScript;
using VelmorandBench::AllocationCount;

constexpr int kCallsPerRun = 1000000;

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

void ReportCalls(benchmark::State& state, std::uint64_t allocationsBefore) {
    state.counters["calls"] = kCallsPerRun;
    state.counters["allocs_per_call"] = benchmark::Counter(
        static_cast<double>(AllocationCount() - allocationsBefore) / kCallsPerRun,
        benchmark::Counter::kAvgIterations);
}

void BM_LuaHostAdd(benchmark::State& state) {
    if (IsScripLoggingEnabled()) {
        state.SkipWithError("unset ENABLE_SCRIPT_LOGGING: the pair is measured with logging off");
        return;
    }
    RegisterCalculatorClass();
    const boost::shared_ptr<Lua::LuaContext> context = Lua::LuaContext::Create();
    const std::string script =
        "local obj = Bench.Calculator.new()\n"
        "for i = 1, " +
        std::to_string(kCallsPerRun) + " do obj:Add(i, 2) end\n";
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const Lua::RunResult result = context->RunString(script, "host_add");
        if (result.status != Lua::RunStatus::Succeeded) {
            state.SkipWithError(result.message.c_str());
            break;
        }
    }
    ReportCalls(state, allocations);
}
BENCHMARK(BM_LuaHostAdd);

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

/// A Lua state with the hand-written bindings: Calculator.new() and its method Add, and add.
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
    return state;
}

void RunBoundScript(benchmark::State& state, const std::string& body) {
    lua_State* lua = NewBoundState();
    const std::string script =
        "for i = 1, " + std::to_string(kCallsPerRun) + " do " + body + " end\n";
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        if (luaL_dostring(lua,
                          ("local obj = Calculator.new()\nlocal add = add\n" + script).c_str())) {
            state.SkipWithError(lua_tostring(lua, -1));
            break;
        }
    }
    ReportCalls(state, allocations);
    lua_close(lua);
}

void BM_LuaCheckedAdd(benchmark::State& state) {
    RunBoundScript(state, "obj:Add(i, 2)");
}
BENCHMARK(BM_LuaCheckedAdd);

void BM_LuaRawAdd(benchmark::State& state) {
    RunBoundScript(state, "add(i, 2)");
}
BENCHMARK(BM_LuaRawAdd);

}  // namespace

BENCHMARK_MAIN();
