// Fuzzes the Lua host: arbitrary short scripts run against the sample module. Whatever a script
// does, only Lua errors may come out: no crash, no escaping C++ exception, no sanitizer report,
// no leak. Each script gets a fresh state with an instruction budget, a memory cap and no access
// to files, processes or the debug library.

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using VelmorandScript::Lua::LuaContext;

constexpr int kHookInterval = 1000;       // instructions between two budget checks
constexpr int kInstructionBudget = 2000;  // budget checks, so two million instructions
constexpr std::ptrdiff_t kMemoryCap = 64 << 20;

// Takes away what would let a script leave the sandbox or outlive its budget, and makes load
// accept text only (Lua does not verify binary chunks).
const char* const kSandbox = R"lua(
    io = nil; package = nil; require = nil; debug = nil; dofile = nil; loadfile = nil
    os = { clock = os.clock, time = os.time, date = os.date, difftime = os.difftime }
    string.dump = nil
    print = function() end
    local textLoad = load
    load = function(chunk, name, _, env) return textLoad(chunk, name, "t", env) end
)lua";

LuaContext* g_running = nullptr;
int g_budgetChecks = 0;

void BudgetHook(lua_State*, lua_Debug*) {
    if (++g_budgetChecks == kInstructionBudget && g_running != nullptr) {
        g_running->CancelScript();  // replaces this hook; the script ends at its next instruction
    }
}

/// The state's own allocator, wrapped with a cap on what the script adds.
struct CappedAllocator {
    lua_Alloc allocate;
    void* data;
    std::ptrdiff_t added;
};

void* CappedAllocate(void* userData, void* block, std::size_t oldSize, std::size_t newSize) {
    auto* cap = static_cast<CappedAllocator*>(userData);
    const std::size_t previous = block != nullptr ? oldSize : 0;
    const auto growth =
        static_cast<std::ptrdiff_t>(newSize) - static_cast<std::ptrdiff_t>(previous);
    if (newSize != 0 && growth > 0 && cap->added + growth > kMemoryCap) {
        return nullptr;  // Lua raises "not enough memory"
    }
    void* result = cap->allocate(cap->data, block, oldSize, newSize);
    if (result != nullptr || newSize == 0) {
        cap->added += growth;
    }
    return result;
}

void LoadSampleModule() {
    void* module = dlopen(VELMORAND_SHAPES_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto registration = module != nullptr
                            ? reinterpret_cast<void (*)()>(dlsym(module, "VelmorandRegisterModule"))
                            : nullptr;
    if (registration == nullptr) {
        std::fprintf(stderr, "fuzz_lua_script: cannot load %s\n", VELMORAND_SHAPES_MODULE);
        std::abort();
    }
    registration();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    VelmorandScript::StandardConversions::RegisterDataConversions();
    VelmorandScript::Lua::RegisterHostRoutines();
    LoadSampleModule();
    VelmorandScript::ClassRegistry::GetInstance().CheckClasses();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto context = LuaContext::Create();
    lua_State* state = context->GetLuaState();
    if (context->RunString(kSandbox, "sandbox").status !=
        VelmorandScript::Lua::RunStatus::Succeeded) {
        std::abort();
    }
    CappedAllocator cap{nullptr, nullptr, 0};
    cap.allocate = lua_getallocf(state, &cap.data);
    lua_setallocf(state, &CappedAllocate, &cap);
    g_running = context.get();
    g_budgetChecks = 0;
    lua_sethook(state, &BudgetHook, LUA_MASKCOUNT, kHookInterval);

    // Succeeded, Failed (a Lua error) and Terminated (abort, cancel, budget) are all fine.
    context->RunString(std::string(reinterpret_cast<const char*>(data), size), "fuzz");

    g_running = nullptr;
    // The blocks the script added are freed through the wrapper while the state closes; the
    // original allocator takes over again first, since `cap` dies with this frame.
    lua_setallocf(state, cap.allocate, cap.data);
    return 0;
}
