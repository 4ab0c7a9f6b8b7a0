#include "LuaStep.h"

#include <VelmorandScript/Errors.h>

#include <Common/Text.h>

#include <new>
#include <string>

namespace VelmorandScript {
namespace Lua {

namespace Detail {

void ThrowStepFailure(lua_State* state, int status) {
    if (status == LUA_ERRMEM) {
        lua_pop(state, 1);
        throw std::bad_alloc();
    }
    // Only strings are read: lua_tolstring would convert a number in place, which allocates.
    std::string text = "error in a Lua operation of the host";
    if (lua_type(state, -1) == LUA_TSTRING) {
        std::size_t length = 0;
        const char* raw = lua_tolstring(state, -1, &length);
        text.assign(raw, length);
    }
    lua_pop(state, 1);
    throw ScriptException(Common::ToWString(text));
}

}  // namespace Detail

void ReserveStack(lua_State* state, int slots) {
    if (!lua_checkstack(state, slots)) {
        throw std::bad_alloc();
    }
}

void PushBytes(lua_State* state, const char* text, std::size_t length) {
    RunLuaStep(state, 0, 1, [text, length](lua_State* L) {
        lua_pushlstring(L, text, length);
        return 1;
    });
}

void RawGetField(lua_State* state, int table, const char* key) {
    ReserveStack(state, 1);
    lua_pushvalue(state, table);
    RunLuaStep(state, 1, 1, [key](lua_State* L) {
        lua_pushstring(L, key);
        lua_rawget(L, 1);
        return 1;
    });
}

void RawSet(lua_State* state, int table) {
    ReserveStack(state, 1);
    lua_pushvalue(state, table);
    lua_rotate(state, -3, 1);
    RunLuaStep(state, 3, 0, [](lua_State* L) {
        lua_rawset(L, 1);
        return 0;
    });
}

}  // namespace Lua
}  // namespace VelmorandScript
