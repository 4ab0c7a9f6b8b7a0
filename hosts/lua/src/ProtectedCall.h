#pragma once

// The one boundary between C++ and Lua's longjmp-based errors. Every C function of the host does
// its C++ work in RunProtected, which keeps the error of an exception without allocating, lets
// every C++ object of the call go, and only then pushes the error value, in a frame that owns
// nothing; the C function raises it. Lua calls that may raise inside the C++ work are steps
// (LuaStep.h).
//
// Aborts and cancels travel as a unique marker value that the host's pcall, xpcall,
// coroutine.resume and coroutine.wrap pass on, so a script cannot swallow them.

#include "HostState.h"

#include <lua.hpp>

namespace VelmorandScript {
namespace Lua {

typedef int (*ProtectedBody)(lua_State* state);

/// RunProtected's handler: keeps the error of the exception being handled in the host, without
/// allocating.
void CaptureError(HostState& host) noexcept;
/// Pushes the error that CaptureError kept, or the marker of a termination.
void PushPendingError(lua_State* state, HostState& host);

/// Runs `Body` with `state` as the host's current thread; returns its result count, or -1 after
/// pushing the error value of the exception it threw (a ScriptAbortException or
/// ScriptCancelException also ends the script). An abort or cancel recorded while the body ran
/// ends the script even when native code caught its exception. A template, so that the body,
/// which runs on every call into native code, is compiled into it rather than called.
template <ProtectedBody Body>
int RunProtected(lua_State* state) noexcept {
    HostState& host = HostState::From(state);
    try {
        // Native code that reaches back into Lua from here works on the calling thread.
        CurrentThreadScope thread(host, state);
        const int results = Body(state);
        if (!host.IsTerminating()) {
            return results;
        }
        // An abort or cancel that native code caught on its way here ends the script all the same.
        host.GetPendingError().kind = HostState::PendingError::Kind::Termination;
    } catch (...) {
        CaptureError(host);
    }
    PushPendingError(state, host);
    return -1;
}

/// A lua_CFunction that runs Body through RunProtected.
template <ProtectedBody Body>
int ProtectedFunction(lua_State* state) {
    const int results = RunProtected<Body>(state);
    return results >= 0 ? results : lua_error(state);
}

void PushTerminationMarker(lua_State* state);
bool IsTerminationMarker(lua_State* state, int index);

/// The count hook that raises a recorded abort or a cancel at the next instruction.
void TerminationHook(lua_State* state, lua_Debug* debug);

/// Replaces pcall, xpcall and the coroutine functions resume, wrap and close by versions that
/// pass aborts and cancels on; resume and wrap also make a running coroutine the host's current
/// thread, which a cancel stops.
void InstallProtectedCalls(lua_State* state);

/// A message handler for running a chunk: adds a traceback to errors (the one of the callback
/// that raised it, for an error that came out of a callback), leaves the marker alone.
int TracebackHandler(lua_State* state);

/// The message handler of callbacks from native code: notes the error value and the traceback
/// where it was raised, and leaves the value as it is. The error reaches the script again only
/// after the native call, whose frames no longer show the callback's; TracebackHandler and
/// debug.traceback show the noted traceback for that value.
int NoteCallbackError(lua_State* state);
/// Forgets the noted callback error (a run ends).
void ForgetCallbackError(lua_State* state);

}  // namespace Lua
}  // namespace VelmorandScript
