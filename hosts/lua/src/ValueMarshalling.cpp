#include "ValueMarshalling.h"

#include "HostState.h"
#include "LuaReference.h"
#include "LuaStep.h"
#include "LuaText.h"
#include "ObjectUserdata.h"
#include "TableStorage.h"

#include <Common/Text.h>

#include <boost/make_shared.hpp>

#include <atomic>
#include <cstdint>
#include <limits>
#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

namespace {

Value IntegerValue(lua_Integer number) {
    if (FitsLong(number)) {
        const long value = static_cast<long>(number);
        return Value(&value);
    }
    const double value = static_cast<double>(number);
    return Value(&value);
}

// Whether values of a number type reach Lua as they are. Wrapper routines are never replaced,
// so once the type's routine is the host's pass-through it stays so, and the answer is kept.
template <class T>
bool PassesUnchanged() {
    static std::atomic<bool> known{false};
    if (known.load(std::memory_order_relaxed)) {
        return true;
    }
    const bool unchanged = Hosting::IsWrappedUnchanged(DataType(typeid(T)));
    if (unchanged) {
        known.store(true, std::memory_order_relaxed);
    }
    return unchanged;
}

[[noreturn]] void RaiseNoNativeForm(lua_State* state, int index) {
    throw ScriptException(L"A Lua " + Common::ToWString(luaL_typename(state, index)) +
                          L" value cannot be handed to native code.");
}

}  // namespace

bool FitsLong(lua_Integer number) {
    return number >= std::numeric_limits<std::int32_t>::min() &&
           number <= std::numeric_limits<std::int32_t>::max();
}

std::wstring ToWideString(lua_State* state, int index) {
    if (lua_type(state, index) != LUA_TSTRING) {
        return std::wstring();  // lua_tolstring would turn a number into a string in place
    }
    std::size_t length = 0;
    const char* text = lua_tolstring(state, index, &length);
    return DecodeLuaText(text, length);
}

void PushWideString(lua_State* state, const std::wstring& text) {
    const std::string bytes = EncodeLuaText(text);
    PushBytes(state, bytes.data(), bytes.size());
}

bool HasCallMetamethod(lua_State* state, int index) {
    const int type = lua_type(state, index);
    if (type != LUA_TTABLE && type != LUA_TUSERDATA) {
        return false;
    }
    ReserveStack(state, 1);
    lua_pushvalue(state, index);
    int found = 0;
    RunLuaStep(state, 1, 0, [&found](lua_State* L) {
        found = luaL_getmetafield(L, 1, "__call") != LUA_TNIL;
        return 0;
    });
    return found != 0;
}

Value ToCallableValue(HostState& host, lua_State* state, int index) {
    ReserveStack(state, 1);
    lua_pushvalue(state, index);
    return Value(boost::make_shared<LuaReference>(host, state));
}

Value ToNativeValue(HostState& host, lua_State* state, int index) {
    index = lua_absindex(state, index);
    switch (lua_type(state, index)) {
        case LUA_TNIL:
        case LUA_TNONE:
            return Value();
        case LUA_TBOOLEAN: {
            const bool value = lua_toboolean(state, index) != 0;
            return Value(&value);
        }
        case LUA_TNUMBER: {
            if (lua_isinteger(state, index)) {
                return IntegerValue(lua_tointeger(state, index));
            }
            const double value = lua_tonumber(state, index);
            return Value(&value);
        }
        case LUA_TSTRING: {
            const std::wstring value = ToWideString(state, index);
            return Value(&value);
        }
        case LUA_TFUNCTION:
            return ToCallableValue(host, state, index);
        case LUA_TTABLE:
            return WrapLuaTable(host, state, index);
        case LUA_TUSERDATA:
            if (const boost::shared_ptr<IObject>* object = ToObjectUserdata(state, index)) {
                return (*object)->GetScriptedObject();
            }
            RaiseNoNativeForm(state, index);
        default:
            RaiseNoNativeForm(state, index);
    }
}

namespace {

void PushWrappedObject(lua_State* state, const Value& wrapped) {
    IObject* object = CastTo<IObject>(&wrapped, false);
    if (object == nullptr) {
        lua_pushnil(state);
    } else if (!PushLuaTableOf(state, *object)) {
        PushObjectUserdata(state, object->shared_from_this());
    }
}

}  // namespace

void PushWrappedValue(lua_State* state, const Value& wrapped) {
    if (wrapped.IsEmpty()) {
        lua_pushnil(state);
        return;
    }
    const DataType& type = wrapped.GetType();
    // Objects first, by the address of their type: names of the library's types share a long
    // prefix, and objects are the most costly to tell from the other forms by name.
    if (&type.GetTypeInfo() == &typeid(IObject)) {
        PushWrappedObject(state, wrapped);
    } else if (type == DataType(typeid(bool))) {
        lua_pushboolean(state, *CastTo<bool>(&wrapped, true) ? 1 : 0);
    } else if (type == DataType(typeid(long))) {
        lua_pushinteger(state, static_cast<lua_Integer>(*CastTo<long>(&wrapped, true)));
    } else if (type == DataType(typeid(double))) {
        lua_pushnumber(state, static_cast<lua_Number>(*CastTo<double>(&wrapped, true)));
    } else if (type == DataType(typeid(std::wstring))) {
        PushWideString(state, *CastTo<std::wstring>(&wrapped, true));
    } else if (type == DataType(typeid(LuaReference))) {
        if (!CastTo<LuaReference>(&wrapped, true)->Push(state)) {
            lua_pushnil(state);
        }
    } else if (type == DataType(typeid(IObject))) {
        PushWrappedObject(state, wrapped);
    } else {
        throw ScriptException(L"A value of type " + wrapped.GetTypeName() +
                              L" has no Lua form; its wrapper routine must produce a bool, "
                              L"long, double, String or object value.");
    }
}

bool PushPlainNumber(lua_State* state, const Value& value) {
    // WrapValue would log its choice. A null reference (its derived type is void) has no number.
    if (!value.IsNumber() || IsScripLoggingEnabled()) {
        return false;
    }
    const std::type_info& type = value.GetType().GetTypeInfo();
    if (&value.GetDerivedType().GetTypeInfo() != &type) {
        return false;
    }
    const void* const number = value.GetValuePtr();
    if (&type == &typeid(double) && PassesUnchanged<double>()) {
        lua_pushnumber(state, static_cast<lua_Number>(*static_cast<const double*>(number)));
    } else if (&type == &typeid(long) && PassesUnchanged<long>()) {
        lua_pushinteger(state, static_cast<lua_Integer>(*static_cast<const long*>(number)));
    } else if (&type == &typeid(bool) && PassesUnchanged<bool>()) {
        lua_pushboolean(state, *static_cast<const bool*>(number) ? 1 : 0);
    } else {
        return false;
    }
    return true;
}

void PushNativeValue(HostState& host, lua_State* state, const Value& value) {
    if (value.IsEmpty()) {
        lua_pushnil(state);
        return;
    }
    PushNativeValue(host.GetSharedContext(), state, value);
}

void PushNativeValue(const boost::shared_ptr<IScriptContext>& context, lua_State* state,
                     Value value) {
    if (value.IsEmpty()) {
        lua_pushnil(state);
        return;
    }
    if (!ConversionRegistry::GetInstance().WrapValue(context, value)) {
        // WrapValue leaves the value as it was when no wrapper routine applies.
        throw ScriptException(L"A value of type " + value.GetTypeName() +
                              L" cannot be handed to the script: no wrapper routine is "
                              L"registered for it.");
    }
    PushWrappedValue(state, value);
}

}  // namespace Lua
}  // namespace VelmorandScript
