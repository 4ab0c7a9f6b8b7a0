#pragma once

// The one boundary between C++ and Lua's longjmp-based errors. Every C function of the host does
// its C++ work in RunProtected, which turns exceptions into a Lua error value on the stack and
// returns normally; the C function raises that value only after every C++ object is gone.
//
// Aborts and cancels travel as a unique marker value that the host's pcall, xpcall,
// coroutine.resume and coroutine.wrap pass on, so a script cannot swallow them.

#include <lua.hpp>

namespace VelmorandScript {
namespace Lua {

typedef int (*ProtectedBody)(lua_State* state);

/// Runs `body` with `state` as the host's current thread; returns its result count, or -1 after
/// pushing the error value of the exception it threw (a ScriptAbortException or
/// ScriptCancelException also ends the script).
int RunProtected(lua_State* state, ProtectedBody body) noexcept;

/// A lua_CFunction that runs Body through RunProtected.
template <ProtectedBody Body>
int ProtectedFunction(lua_State* state) {
    const int results = RunProtected(state, Body);
    return results >= 0 ? results : lua_error(state);
}

void PushTerminationMarker(lua_State* state);
bool IsTerminationMarker(lua_State* state, int index);

/// The count hook that raises the cancel at the next instruction.
void CancelHook(lua_State* state, lua_Debug* debug);

/// Replaces pcall, xpcall, coroutine.resume and coroutine.wrap by versions that pass aborts and
/// cancels on; the coroutine functions also make a running coroutine the host's current thread,
/// which a cancel stops.
void InstallProtectedCalls(lua_State* state);

/// A message handler for running a chunk: adds a traceback to errors, leaves the marker alone.
int TracebackHandler(lua_State* state);

}  // namespace Lua
}  // namespace VelmorandScript
