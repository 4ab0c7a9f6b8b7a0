#include "Library.h"

#include "HostState.h"
#include "LuaStep.h"
#include "ProtectedCall.h"
#include "ValueMarshalling.h"

#include <VelmorandScript/VelmorandScript.h>

namespace VelmorandScript {
namespace Lua {

const wchar_t* const eventHandlerName = L"VelmorandScript::EVENT_HANDLER_ROUTINE";

namespace {

// velmorand.classes(): every registered class, in script-name order.
int ListClasses(lua_State* state) {
    HostState& host = HostState::From(state);
    PushNativeValue(host, state, Value(ClassRegistry::GetInstance().GetRegisteredClasses()));
    return 1;
}

// velmorand.class(name): the class registered under the script name, or nil.
int FindClassByName(lua_State* state) {
    HostState& host = HostState::From(state);
    if (lua_type(state, 1) != LUA_TSTRING) {
        throw ScriptException(L"velmorand.class expects a class's script name.");
    }
    const boost::shared_ptr<Class> scriptClass =
        ClassRegistry::GetInstance().FindClassByScriptName(ToWideString(state, 1));
    PushNativeValue(host, state, scriptClass ? Value(scriptClass) : Value());
    return 1;
}

// velmorand.on_event(handler): sets the notification handler (a function or nil) and returns
// the previous one.
int SetEventHandler(lua_State* state) {
    if (!lua_isnoneornil(state, 1) && lua_type(state, 1) != LUA_TFUNCTION) {
        throw ScriptException(L"velmorand.on_event expects a function or nil.");
    }
    lua_settop(state, 1);
    PushWideString(state, eventHandlerName);
    // The handler and the name become the previous handler.
    RunLuaStep(state, 2, 1, [](lua_State* L) {
        lua_pushglobaltable(L);
        lua_pushvalue(L, 2);
        lua_rawget(L, 3);  // the previous handler
        lua_pushvalue(L, 2);
        lua_pushvalue(L, 1);
        lua_rawset(L, 3);
        return 1;
    });
    return 1;
}

// velmorand.style_name(style): the names of a function style's flags.
int NameStyle(lua_State* state) {
    if (!lua_isinteger(state, 1)) {
        throw ScriptException(L"velmorand.style_name expects an integer style.");
    }
    PushWideString(state, GetFunctionStyleName(static_cast<long>(lua_tointeger(state, 1))));
    return 1;
}

}  // namespace

void OpenVelmorandLibrary(lua_State* state) {
    const luaL_Reg functions[] = {{"classes", &ProtectedFunction<&ListClasses>},
                                  {"class", &ProtectedFunction<&FindClassByName>},
                                  {"on_event", &ProtectedFunction<&SetEventHandler>},
                                  {"style_name", &ProtectedFunction<&NameStyle>},
                                  {nullptr, nullptr}};
    luaL_newlib(state, functions);
    lua_setglobal(state, "velmorand");
}

}  // namespace Lua
}  // namespace VelmorandScript
