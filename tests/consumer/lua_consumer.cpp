// Embeds the installed Lua host: runs a script that lists the registered classes and computes a
// value, then reads the value back, once through the context and once through Lua's own API on
// the state GetLuaState returns (which needs Lua's headers and library from the package's
// flags). An exception ends the program with a failure.

#include <VelmorandScript/Lua/LuaHost.h>
#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <iostream>

int main() {
    using namespace VelmorandScript;
    StandardConversions::RegisterDataConversions();
    Lua::RegisterHostRoutines();
    ClassRegistry::GetInstance().CheckClasses();
    const auto context = Lua::LuaContext::Create();
    const Lua::RunResult result = context->RunString(
        "assert(#velmorand.classes() > 0, 'no classes listed') answer = 6 * 7", "consumer");
    lua_State* state = context->GetLuaState();
    const int top = lua_gettop(state);
    const bool fromLua =
        lua_getglobal(state, "answer") == LUA_TNUMBER && lua_tointeger(state, -1) == 42;
    lua_settop(state, top);
    const bool ok = result.status == Lua::RunStatus::Succeeded && fromLua &&
                    GetAs<long>(context->GetScriptVariable(L"answer")) == 42;
    std::cout << "lua consumer: " << (ok ? "ok" : "failed: " + result.message) << '\n';
    return ok ? 0 : 1;
}
