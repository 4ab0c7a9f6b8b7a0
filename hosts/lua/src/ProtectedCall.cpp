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

// Calls the original coroutine.resume (at `resume`) on the arguments, the coroutine first, with
// the coroutine as the host's current thread while it runs, so that a cancel requested meanwhile
// (Ctrl-C in a coroutine that runs pure Lua) arms it. Leaves resume's results, or the error it
// raised, on the stack and returns the status of the protected call.
int CallOriginalResume(lua_State* state, int resume) {
    HostState& host = HostState::From(state);
    lua_State* coroutine = lua_tothread(state, 1);
    host.ArmCancelHook(coroutine);
    const int count = lua_gettop(state);
    lua_pushvalue(state, resume);
    lua_insert(state, 1);
    const CurrentThreadScope running(host, coroutine != nullptr ? coroutine : state);
    return lua_pcall(state, count, LUA_MULTRET, 0);
}

int ResumeFunction(lua_State* state) {
    if (CallOriginalResume(state, lua_upvalueindex(1)) != LUA_OK) {
        return lua_error(state);
    }
    if (!lua_toboolean(state, 1) && (IsTerminationMarker(state, 2) || IsTerminating(state))) {
        PushTerminationMarker(state);
        return lua_error(state);
    }
    return lua_gettop(state);
}

// The function coroutine.wrap returns: resumes its coroutine (upvalue 1) through the host's
// coroutine.resume (upvalue 2) and raises its errors as Lua's own wrap does, closing the
// coroutine's pending to-be-closed variables and putting the caller's position before a text.
int ResumeWrappedCoroutine(lua_State* state) {
    lua_pushvalue(state, lua_upvalueindex(2));
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_rotate(state, 1, 2);
    lua_call(state, lua_gettop(state) - 1, LUA_MULTRET);
    if (lua_toboolean(state, 1)) {
        lua_remove(state, 1);
        return lua_gettop(state);
    }
    lua_State* coroutine = lua_tothread(state, lua_upvalueindex(1));
    int status = lua_status(coroutine);
    if (status != LUA_OK && status != LUA_YIELD) {
        status = lua_resetthread(coroutine);
        lua_xmove(coroutine, state, 1);
    }
    if (status != LUA_ERRMEM && lua_type(state, -1) == LUA_TSTRING) {
        luaL_where(state, 1);
        lua_insert(state, -2);
        lua_concat(state, 2);
    }
    return lua_error(state);
}

// coroutine.wrap, with the host's coroutine.resume as upvalue 1.
int WrapFunction(lua_State* state) {
    luaL_checktype(state, 1, LUA_TFUNCTION);
    lua_State* coroutine = lua_newthread(state);
    lua_pushvalue(state, 1);
    lua_xmove(state, coroutine, 1);
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_pushcclosure(state, &ResumeWrappedCoroutine, 2);
    return 1;
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
        lua_pushvalue(state, -1);
        lua_setfield(state, -3, "resume");
        lua_pushcclosure(state, &WrapFunction, 1);
        lua_setfield(state, -2, "wrap");
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
