#pragma once

// Lua calls that may raise, made from C++ code that owns something.
//
// Lua raises its errors (out of memory included) with longjmp, which skips the destructors of
// every C++ frame it crosses: call frames would stay pushed, native objects would never be
// released, an exception being handled would stay current. So C++ code never calls a Lua
// function that can raise directly. It runs such calls as a step: a function that makes Lua
// calls only and owns nothing, run under lua_pcall. A failing step comes back as a C++
// exception, which unwinds the C++ frames normally; RunProtected turns it into a Lua error once
// every C++ object is gone.
//
// Lua calls that never raise (reading the stack, pushing numbers, booleans, light userdata and
// C functions without upvalues into reserved stack space, raw reads of tables) need no step.

#include <lua.hpp>

#include <cstddef>

namespace VelmorandScript {
namespace Lua {

namespace Detail {

template <class Step>
int RunStepBody(lua_State* state) {
    Step& step = *static_cast<Step*>(lua_touserdata(state, 1));
    lua_remove(state, 1);
    return step(state);
}

/// Throws what a step's failure stands for (std::bad_alloc for out of memory, ScriptException
/// with the error's text otherwise), after popping the error value.
[[noreturn]] void ThrowStepFailure(lua_State* state, int status);

}  // namespace Detail

/// Makes room for `slots` more values on the stack; throws std::bad_alloc when it cannot.
void ReserveStack(lua_State* state, int slots);

/// Runs `step(state)`, a callable that makes Lua calls only, owns nothing that needs a
/// destructor and returns how many values it pushed (like a lua_CFunction), under lua_pcall.
/// It runs as a C function of its own: it sees the `arguments` values from the top of the
/// caller's stack as its indexes 1..arguments and nothing else of the caller's frame (pass a
/// table as an argument to work on it). Afterwards the arguments are replaced by `results`
/// values (missing ones as nil). Throws when the step raised; the arguments are gone then too.
template <class Step>
void RunLuaStep(lua_State* state, int arguments, int results, Step step) {
    ReserveStack(state, results + 2);
    lua_pushcfunction(state, &Detail::RunStepBody<Step>);
    lua_pushlightuserdata(state, &step);
    lua_rotate(state, -(arguments + 2), 2);
    const int status = lua_pcall(state, arguments + 1, results, 0);
    if (status != LUA_OK) {
        Detail::ThrowStepFailure(state, status);
    }
}

/// Pushes `length` bytes at `text` as a Lua string.
void PushBytes(lua_State* state, const char* text, std::size_t length);

/// Pushes t[key] for the table at `table` and a string key, without metamethods.
void RawGetField(lua_State* state, int table, const char* key);

/// Does t[k] = v, without metamethods, for the table at `table` and the key and value on top
/// of the stack (both popped).
void RawSet(lua_State* state, int table);

}  // namespace Lua
}  // namespace VelmorandScript
