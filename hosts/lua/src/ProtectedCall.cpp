#include "ProtectedCall.h"

#include "HostState.h"
#include "LuaReference.h"

#include <Common/Text.h>

#include <exception>
#include <new>
#include <string>

namespace VelmorandScript {
namespace Lua {

namespace {

// The address of this object is the marker of an abort or cancel in flight.
const char terminationMarker = 0;

void PushErrorText(lua_State* state, const std::string& text) {
    luaL_where(state, 1);
    lua_pushlstring(state, text.data(), text.size());
    lua_concat(state, 2);
}

void PushTermination(lua_State* state, Termination reason, const std::wstring& message) {
    HostState::From(state).Terminate(reason, message);
    PushTerminationMarker(state);
}

bool IsTerminating(lua_State* state) {
    return HostState::From(state).GetTermination() != Termination::None;
}

// The C++ part of the cancel hook; true when the marker is on the stack, ready to be raised.
bool PrepareCancel(lua_State* state) noexcept {
    try {
        HostState& host = HostState::From(state);
        if (!host.IsCancelRequested()) {
            return false;
        }
        PushTermination(state, Termination::Cancel, ScriptCancelException().GetExceptionMessage());
        return true;
    } catch (...) {
        PushTerminationMarker(state);
        return true;
    }
}

// The continuation of pcall and xpcall (also used when nothing yielded).
int FinishProtectedCall(lua_State* state, int status, lua_KContext extra) {
    if (status != LUA_OK && status != LUA_YIELD) {
        if (IsTerminationMarker(state, -1) || IsTerminating(state)) {
            PushTerminationMarker(state);
            return lua_error(state);
        }
        lua_pushboolean(state, 0);
        lua_pushvalue(state, -2);
        return 2;
    }
    return lua_gettop(state) - static_cast<int>(extra);
}

int ProtectedCallFunction(lua_State* state) {
    luaL_checkany(state, 1);
    lua_pushboolean(state, 1);
    lua_insert(state, 1);
    const int status =
        lua_pcallk(state, lua_gettop(state) - 2, LUA_MULTRET, 0, 0, &FinishProtectedCall);
    return FinishProtectedCall(state, status, 0);
}

// Calls the script's message handler, except for the marker, which the handler must not change.
int GuardedMessageHandler(lua_State* state) {
    if (IsTerminationMarker(state, 1) || IsTerminating(state)) {
        PushTerminationMarker(state);
        return 1;
    }
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, lua_gettop(state) - 1, 1);
    return 1;
}

int ExtendedProtectedCallFunction(lua_State* state) {
    const int count = lua_gettop(state);
    luaL_checktype(state, 2, LUA_TFUNCTION);
    lua_pushvalue(state, 2);
    lua_pushcclosure(state, &GuardedMessageHandler, 1);
    lua_replace(state, 2);
    lua_pushboolean(state, 1);
    lua_pushvalue(state, 1);
    lua_rotate(state, 3, 2);  // true and the function go below the arguments
    const int status = lua_pcallk(state, count - 2, LUA_MULTRET, 2, 2, &FinishProtectedCall);
    return FinishProtectedCall(state, status, 2);
}

int ResumeFunction(lua_State* state) {
    if (lua_State* coroutine = lua_tothread(state, 1)) {
        HostState::From(state).ArmCancelHook(coroutine);
    }
    const int count = lua_gettop(state);
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, count, LUA_MULTRET);
    if (!lua_toboolean(state, 1) && (IsTerminationMarker(state, 2) || IsTerminating(state))) {
        PushTerminationMarker(state);
        return lua_error(state);
    }
    return lua_gettop(state);
}

}  // namespace

int RunProtected(lua_State* state, ProtectedBody body) noexcept {
    try {
        // Native code that reaches back into Lua from here works on the calling thread.
        CurrentThreadScope thread(HostState::From(state), state);
        return body(state);
    } catch (const ScriptCancelException& error) {
        PushTermination(state, Termination::Cancel, error.GetExceptionMessage());
    } catch (const ScriptAbortException& error) {
        PushTermination(state, Termination::Abort, error.GetExceptionMessage());
    } catch (const LuaErrorException& error) {
        if (!error.GetErrorValue() || !error.GetErrorValue()->Push(state)) {
            PushErrorText(state, error.what());
        }
    } catch (const std::bad_alloc&) {
        lua_pushliteral(state, "not enough memory");
    } catch (const std::exception& error) {
        PushErrorText(state, error.what());
    } catch (...) {
        PushErrorText(state, "unknown native error");
    }
    return -1;
}

void PushTerminationMarker(lua_State* state) {
    lua_pushlightuserdata(state, const_cast<char*>(&terminationMarker));
}

bool IsTerminationMarker(lua_State* state, int index) {
    return lua_islightuserdata(state, index) &&
           lua_touserdata(state, index) == static_cast<const void*>(&terminationMarker);
}

void CancelHook(lua_State* state, lua_Debug* /*debug*/) {
    if (PrepareCancel(state)) {
        lua_error(state);
    }
}

void InstallProtectedCalls(lua_State* state) {
    lua_pushcfunction(state, &ProtectedCallFunction);
    lua_setglobal(state, "pcall");
    lua_pushcfunction(state, &ExtendedProtectedCallFunction);
    lua_setglobal(state, "xpcall");
    if (lua_getglobal(state, "coroutine") == LUA_TTABLE) {
        lua_getfield(state, -1, "resume");
        lua_pushcclosure(state, &ResumeFunction, 1);
        lua_setfield(state, -2, "resume");
    }
    lua_pop(state, 1);
}

int TracebackHandler(lua_State* state) {
    if (IsTerminationMarker(state, 1)) {
        return 1;
    }
    const char* message = lua_tostring(state, 1);
    if (message == nullptr) {
        if (luaL_callmeta(state, 1, "__tostring") && lua_type(state, -1) == LUA_TSTRING) {
            return 1;
        }
        message = lua_pushfstring(state, "(error object is a %s value)", luaL_typename(state, 1));
    }
    luaL_traceback(state, state, message, 1);
    return 1;
}

}  // namespace Lua
}  // namespace VelmorandScript
