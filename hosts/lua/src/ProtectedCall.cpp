#include "ProtectedCall.h"

#include "HostState.h"
#include "LuaReference.h"

#include <exception>
#include <new>
#include <string>

namespace VelmorandScript {
namespace Lua {

namespace {

// The address of this object is the marker of an abort or cancel in flight.
const char terminationMarker = 0;
// Registry keys: the error value of the latest failed callback, and its traceback.
const char callbackErrorKey = 0;
const char callbackTracebackKey = 0;

// Pushes the traceback noted for the error value at `index` and returns true; false, with
// nothing pushed, when the value is not the latest callback's error.
bool PushNotedTraceback(lua_State* state, int index) {
    index = lua_absindex(state, index);
    lua_rawgetp(state, LUA_REGISTRYINDEX, &callbackErrorKey);
    const bool noted = !lua_isnil(state, -1) && lua_rawequal(state, -1, index);
    lua_pop(state, 1);
    if (noted) {
        lua_rawgetp(state, LUA_REGISTRYINDEX, &callbackTracebackKey);
    }
    return noted;
}

// For a text message at 1 that is the latest callback's error: pushes it followed by the
// traceback noted where it was raised, and returns true.
bool PushMessageWithNotedTraceback(lua_State* state) {
    if (lua_type(state, 1) != LUA_TSTRING || !PushNotedTraceback(state, 1)) {
        return false;
    }
    lua_pushvalue(state, 1);
    lua_pushliteral(state, "\n");
    lua_rotate(state, -3, 2);
    lua_concat(state, 3);
    return true;
}

// debug.traceback (the original at upvalue 1): for the error of a callback, the traceback of
// where it was raised.
int CallbackAwareTraceback(lua_State* state) {
    if (lua_gettop(state) <= 2 && PushMessageWithNotedTraceback(state)) {
        return 1;
    }
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, lua_gettop(state) - 1, 1);
    return 1;
}

bool IsTerminating(lua_State* state) {
    return HostState::From(state).GetTermination() != Termination::None;
}

}  // namespace

// The handler must end before anything is pushed, so that a Lua error raised by a push leaves
// no exception current.
void CaptureError(HostState& host) noexcept {
    HostState::PendingError& pending = host.GetPendingError();
    pending.kind = HostState::PendingError::Kind::Text;
    try {
        throw;
    } catch (const ScriptCancelException&) {
        host.Terminate(Termination::Cancel, nullptr);
        pending.kind = HostState::PendingError::Kind::Termination;
    } catch (const ScriptAbortException& error) {
        host.Terminate(Termination::Abort, error.what());
        pending.kind = HostState::PendingError::Kind::Termination;
    } catch (const LuaErrorException& error) {
        pending.value = error.GetErrorValue();
        pending.text.Assign(error.what());
        if (pending.value) {
            pending.kind = HostState::PendingError::Kind::LuaValue;
        }
    } catch (const std::bad_alloc&) {
        pending.kind = HostState::PendingError::Kind::OutOfMemory;
    } catch (const std::exception& error) {
        pending.text.Assign(error.what());
    } catch (...) {
        pending.text.Assign("unknown native error");
    }
}

// Runs in a frame that owns nothing, so a push that runs out of memory raises Lua's own "not
// enough memory" harmlessly.
void PushPendingError(lua_State* state, HostState& host) {
    HostState::PendingError& pending = host.GetPendingError();
    lua_settop(state, 0);  // the call's values are of no use any more
    if (pending.kind == HostState::PendingError::Kind::LuaValue) {
        const bool pushed = pending.value->Push(state);
        pending.value.reset();
        if (pushed) {
            return;
        }
        pending.kind = HostState::PendingError::Kind::Text;
    }
    switch (pending.kind) {
        case HostState::PendingError::Kind::Termination:
            PushTerminationMarker(state);
            break;
        case HostState::PendingError::Kind::OutOfMemory:
            lua_pushliteral(state, "not enough memory");
            break;
        default:
            luaL_where(state, 1);
            lua_pushlstring(state, pending.text.Data(), pending.text.Size());
            lua_concat(state, 2);
    }
}

namespace {

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
    host.ArmTerminationHook(coroutine);
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

// coroutine.close (the original at upvalue 1): an abort or cancel raised by a __close handler
// of the coroutine goes on instead of coming back as its error value.
int CloseFunction(lua_State* state) {
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, lua_gettop(state) - 1, LUA_MULTRET);
    if (!lua_toboolean(state, 1) && (IsTerminationMarker(state, 2) || IsTerminating(state))) {
        PushTerminationMarker(state);
        return lua_error(state);
    }
    return lua_gettop(state);
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

// Replaces the function `name` of the library table on top by `wrapper`, which gets the
// original as its upvalue; leaves a library without that function as it is.
void WrapLibraryFunction(lua_State* state, const char* name, lua_CFunction wrapper) {
    if (lua_getfield(state, -1, name) == LUA_TFUNCTION) {
        lua_pushcclosure(state, wrapper, 1);
        lua_setfield(state, -2, name);
    } else {
        lua_pop(state, 1);
    }
}

}  // namespace

void PushTerminationMarker(lua_State* state) {
    lua_pushlightuserdata(state, const_cast<char*>(&terminationMarker));
}

bool IsTerminationMarker(lua_State* state, int index) {
    return lua_islightuserdata(state, index) &&
           lua_touserdata(state, index) == static_cast<const void*>(&terminationMarker);
}

void TerminationHook(lua_State* state, lua_Debug* /*debug*/) {
    HostState& host = HostState::From(state);
    const Termination termination = host.GetTermination();
    if (termination == Termination::None) {
        lua_sethook(state, nullptr, 0, 0);  // armed for an earlier run: no longer needed
        return;
    }
    host.Terminate(termination, nullptr);  // records a cancel that was only requested
    PushTerminationMarker(state);
    lua_error(state);
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
        WrapLibraryFunction(state, "close", &CloseFunction);
    }
    lua_pop(state, 1);
    if (lua_getglobal(state, "debug") == LUA_TTABLE) {
        WrapLibraryFunction(state, "traceback", &CallbackAwareTraceback);
    }
    lua_pop(state, 1);
}

int TracebackHandler(lua_State* state) {
    if (IsTerminationMarker(state, 1)) {
        return 1;
    }
    if (PushMessageWithNotedTraceback(state)) {
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

int NoteCallbackError(lua_State* state) {
    if (!IsTerminationMarker(state, 1)) {
        lua_pushvalue(state, 1);
        lua_rawsetp(state, LUA_REGISTRYINDEX, &callbackErrorKey);
        luaL_traceback(state, state, nullptr, 1);
        lua_rawsetp(state, LUA_REGISTRYINDEX, &callbackTracebackKey);
    }
    lua_settop(state, 1);
    return 1;
}

void ForgetCallbackError(lua_State* state) {
    if (state != nullptr && lua_checkstack(state, 1)) {
        // Clearing keys that exist never allocates.
        lua_pushnil(state);
        lua_rawsetp(state, LUA_REGISTRYINDEX, &callbackErrorKey);
        lua_pushnil(state);
        lua_rawsetp(state, LUA_REGISTRYINDEX, &callbackTracebackKey);
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
