#pragma once

// Values between Lua and native code. Lua to native: nil, booleans, integers (long within 32
// bits, double beyond), floats, strings, functions (a LuaReference), tables (an IArray or IHash
// over the table) and object userdata (the object the wrapper presents). Native to Lua: values
// are wrapped with ConversionRegistry::WrapValue, whose routines (WrapperRoutines.cpp) leave one
// of the forms PushWrappedValue knows.

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <string>

namespace VelmorandScript {
namespace Lua {

class HostState;

/// The native value a Lua value stands for. Throws ScriptException for values that have none
/// (threads, light and foreign userdata).
Value ToNativeValue(HostState& host, lua_State* state, int index);
/// Whether a Lua integer reaches native code as a long: it fits 32 bits.
bool FitsLong(lua_Integer number);

/// Pushes a value in one of the wrapped forms: empty, bool, long, double, String, IObject or
/// LuaReference. Throws ScriptException for any other type. Like every push of the host, it
/// needs one free stack slot and throws std::bad_alloc when Lua runs out of memory.
void PushWrappedValue(lua_State* state, const Value& wrapped);

/// Wraps a native value for the script and pushes it; an empty value becomes nil. Throws
/// ScriptException when no wrapper routine applies.
void PushNativeValue(HostState& host, lua_State* state, const Value& value);
/// The same with the context native code receives (the host's) at hand, taking the value over.
void PushNativeValue(const boost::shared_ptr<IScriptContext>& context, lua_State* state,
                     Value value);

/// Pushes a long, double or bool held by `value` as it is, when its wrapper routine is the
/// host's pass-through and logging is off: what PushNativeValue would push, without a trip
/// through WrapValue. False, with nothing pushed, for any other value.
bool PushPlainNumber(lua_State* state, const Value& value);
/// The Lua string at `index` as wide text (LuaText.h); "" for any other value.
std::wstring ToWideString(lua_State* state, int index);
/// Pushes wide text as a Lua string (LuaText.h).
void PushWideString(lua_State* state, const std::wstring& text);

/// Whether the table or userdata at `index` can be called (has a __call metamethod).
bool HasCallMetamethod(lua_State* state, int index);
/// A reference to the value at `index`, which native code may call back (a LuaReference).
Value ToCallableValue(HostState& host, lua_State* state, int index);

}  // namespace Lua
}  // namespace VelmorandScript
