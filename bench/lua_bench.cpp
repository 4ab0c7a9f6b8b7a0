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

#include <atomic>
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

// Floors of pairs 8d, 8e and 8f: each Lua C function does only what our interfaces require of a
// host's call, and nothing is looked up. It catches C++ exceptions and records the running
// thread (as every host entry does), pushes and pops the call's frame on the context, reads the
// script's numbers and calls the builder's own typed entry (the module's code, out of line), and
// for a construction wraps the result in the class's Object held by a userdata with __gc.

/// What a floor function finds in its upvalue, prepared before the loop.
struct FloorBinding {
    boost::shared_ptr<Lua::LuaContext> context;
    boost::shared_ptr<IScriptCall> frame;
    const TypedEntry* entry = nullptr;
    boost::shared_ptr<Class> scriptClass;
    std::atomic<lua_State*> current{nullptr};
    std::atomic<int> terminating{0};
};

struct FloorFrame : IScriptCall {
    int UsesArgumentNumbers() const override { return 1; }
    std::wstring GetCalledClassName() const override { return L"Bench::Circle"; }
    std::wstring GetCalledFunctionName() const override { return L"Bench::Circle::Radius"; }
};

const TypedEntry& TypedEntryOf(const wchar_t* className, const wchar_t* name, long style) {
    const boost::shared_ptr<IFunction> function =
        ClassRegistry::GetInstance().FindClassByScriptName(className)->FindFunction(
            name, style, boost::shared_ptr<IObject>());
    return *dynamic_cast<const Function&>(*function).GetTypedEntry();
}

const char* const kFloorObjectMetatable = "Bench.FloorObject";

typedef boost::shared_ptr<IObject> FloorObject;

/// Runs `call` as a host entry runs native work: exceptions caught, the thread recorded, the
/// frame pushed and popped, an abort checked for afterwards.
template <class Call>
int RunFloorCall(lua_State* state, Call call) {
    auto* binding = static_cast<FloorBinding*>(lua_touserdata(state, lua_upvalueindex(1)));
    int results = 0;
    try {
        lua_State* const previous = binding->current.load(std::memory_order_relaxed);
        binding->current.store(state, std::memory_order_relaxed);
        binding->context->EnterScriptCall(std::move(binding->frame));
        results = call(*binding);
        binding->context->LeaveScriptCall(binding->frame);
        binding->current.store(previous, std::memory_order_relaxed);
        if (binding->terminating.load() != 0) {
            results = -1;
        }
    } catch (...) {
        results = -1;
    }
    return results >= 0 ? results : luaL_error(state, "floor call failed");
}

bool FloorNumberArgument(lua_State* state, int index, TypedArgument& argument) {
    if (lua_isinteger(state, index)) {
        argument.asDouble = static_cast<double>(lua_tointeger(state, index));
    } else if (lua_type(state, index) == LUA_TNUMBER) {
        argument.asDouble = lua_tonumber(state, index);
    } else {
        return false;
    }
    return true;
}

/// Reads the number at 1 and calls the binding's entry with it, without an object.
bool CallFloorEntry(lua_State* state, const FloorBinding& binding, TypedResult& result) {
    TypedArgument argument;
    return FloorNumberArgument(state, 1, argument) &&
           binding.entry->Call(Value(), &argument, result);
}

int FloorStatic(lua_State* state) {
    return RunFloorCall(state, [state](FloorBinding& binding) {
        TypedResult result;
        if (!CallFloorEntry(state, binding, result)) {
            return -1;
        }
        lua_pushnumber(state, result.asDouble);
        return 1;
    });
}

// __index of floor objects (upvalue 1: the binding of the property): the key checked, the
// object's presented value read, the getter called.
int FloorIndex(lua_State* state) {
    if (lua_type(state, 2) != LUA_TSTRING) {
        return 0;
    }
    return RunFloorCall(state, [state](FloorBinding& binding) {
        const auto* object = static_cast<const FloorObject*>(lua_touserdata(state, 1));
        TypedResult result;
        const Value& presented = static_cast<const Object&>(**object).GetScriptedObjectRef();
        if (!binding.entry->Call(presented, nullptr, result)) {
            return -1;
        }
        lua_pushnumber(state, result.asDouble);
        return 1;
    });
}

int FloorNew(lua_State* state) {
    return RunFloorCall(state, [state](FloorBinding& binding) {
        TypedResult result;
        if (!CallFloorEntry(state, binding, result)) {
            return -1;
        }
        auto* object = new (lua_newuserdatauv(state, sizeof(FloorObject), 0)) FloorObject();
        luaL_setmetatable(state, kFloorObjectMetatable);
        *object = binding.scriptClass->CreateWrapper(result.boxed);
        return 1;
    });
}

int CollectFloorObject(lua_State* state) {
    static_cast<FloorObject*>(lua_touserdata(state, 1))->~FloorObject();
    return 0;
}

void PushFloorFunction(lua_State* state, lua_CFunction function, const TypedEntry& entry,
                       const boost::shared_ptr<Lua::LuaContext>& context) {
    auto* binding = new (lua_newuserdatauv(state, sizeof(FloorBinding), 0)) FloorBinding();
    binding->context = context;
    binding->frame = boost::make_shared<FloorFrame>();
    binding->entry = &entry;
    binding->scriptClass = ClassRegistry::GetInstance().FindClassByScriptName(L"Bench::Circle");
    lua_pushcclosure(state, function, 1);  // the binding is never collected: the state is closed
}

/// Runs `script` in a host context whose globals also hold the floor functions,
/// Floor.Calc.Twice and Floor.Circle.new, whose objects read Radius under every key.
void RunFloorScript(benchmark::State& state, const std::string& script, int calls) {
    RegisterBuilderClasses();
    const boost::shared_ptr<Lua::LuaContext> context = Lua::LuaContext::Create();
    lua_State* lua = context->GetLuaState();
    luaL_newmetatable(lua, kFloorObjectMetatable);
    lua_pushcfunction(lua, &CollectFloorObject);
    lua_setfield(lua, -2, "__gc");
    PushFloorFunction(lua, &FloorIndex, TypedEntryOf(L"Bench::Circle", L"Radius", PropertyGetStyle),
                      context);
    lua_setfield(lua, -2, "__index");
    lua_pop(lua, 1);
    // Reached as the scripts of the pairs reach theirs: Floor.Calc.Twice, Floor.Circle.new.
    lua_newtable(lua);
    lua_newtable(lua);
    PushFloorFunction(lua, &FloorStatic,
                      TypedEntryOf(L"Bench::TypedCalculator", L"Twice", StaticStyle), context);
    lua_setfield(lua, -2, "Twice");
    lua_setfield(lua, -2, "Calc");
    lua_newtable(lua);
    PushFloorFunction(lua, &FloorNew, TypedEntryOf(L"Bench::Circle", L"Circle", ConstructorStyle),
                      context);
    lua_setfield(lua, -2, "new");
    lua_setfield(lua, -2, "Circle");
    lua_setglobal(lua, "Floor");
    const std::uint64_t allocations = AllocationCount();
    for (auto _ : state) {
        const Lua::RunResult result = context->RunString(script, "floor_script");
        if (result.status != Lua::RunStatus::Succeeded) {
            state.SkipWithError(result.message.c_str());
            break;
        }
    }
    ReportCalls(state, allocations, calls);
}

void BM_LuaFloorRead(benchmark::State& state) {
    RunFloorScript(state,
                   "local obj = Floor.Circle.new(1)\nlocal sum = 0\n" +
                       Loop(kCallsPerRun, "sum = sum + obj.Radius"),
                   kCallsPerRun);
}
BENCHMARK(BM_LuaFloorRead);

void BM_LuaFloorStatic(benchmark::State& state) {
    RunFloorScript(state,
                   "local Calc = Floor.Calc\nlocal sum = 0\n" +
                       Loop(kCallsPerRun, "sum = sum + Calc.Twice(i)"),
                   kCallsPerRun);
}
BENCHMARK(BM_LuaFloorStatic);

void BM_LuaFloorNew(benchmark::State& state) {
    RunFloorScript(state, Loop(kConstructionsPerRun, "local c = Floor.Circle.new(1)") + kCollect,
                   kConstructionsPerRun);
}
BENCHMARK(BM_LuaFloorNew);

}  // namespace

BENCHMARK_MAIN();
