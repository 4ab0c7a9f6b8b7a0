#include "ClassTables.h"

#include "CallDispatch.h"
#include "HostState.h"
#include "LuaStep.h"
#include "LuaText.h"
#include "ProtectedCall.h"
#include "ValueMarshalling.h"

#include <VelmorandScript/VelmorandScript.h>

#include <Common/Text.h>

#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

const std::wstring separator = L"::";

std::vector<std::wstring> SplitScriptName(const std::wstring& scriptName) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (std::size_t found = scriptName.find(separator); found != std::wstring::npos;
         found = scriptName.find(separator, start)) {
        parts.push_back(scriptName.substr(start, found - start));
        start = found + separator.size();
    }
    parts.push_back(scriptName.substr(start));
    return parts;
}

boost::shared_ptr<Class> FindClass(const std::wstring& scriptName) {
    boost::shared_ptr<Class> scriptClass =
        ClassRegistry::GetInstance().FindClassByScriptName(scriptName);
    if (!scriptClass) {
        throw ScriptException(L"The class " + scriptName + L" is no longer registered.");
    }
    return scriptClass;
}

// Upvalues: the class's script name and the function's name.
int CallConstructor(lua_State* state) {
    return DispatchCall(HostState::From(state), state,
                        CallTarget{FindClass(ToWideString(state, lua_upvalueindex(1))),
                                   ToWideString(state, lua_upvalueindex(2)), ConstructorStyle,
                                   boost::shared_ptr<IObject>(), 1});
}

int CallStatic(lua_State* state) {
    return DispatchCall(HostState::From(state), state,
                        CallTarget{FindClass(ToWideString(state, lua_upvalueindex(1))),
                                   ToWideString(state, lua_upvalueindex(2)), StaticStyle,
                                   boost::shared_ptr<IObject>(), 1});
}

void PushBoundCall(lua_State* state, lua_CFunction call, const std::wstring& functionName) {
    ReserveStack(state, 3);
    lua_pushvalue(state, lua_upvalueindex(1));
    PushWideString(state, functionName);
    RunLuaStep(state, 2, 1, [call](lua_State* L) {
        lua_pushcclosure(L, call, 2);
        return 1;
    });
}

// __index of a class table (upvalue: the class's script name).
int IndexClass(lua_State* state) {
    const std::wstring scriptName = ToWideString(state, lua_upvalueindex(1));
    if (lua_type(state, 2) != LUA_TSTRING) {
        throw ScriptException(L"The class table " + scriptName + L" is indexed by name, not by a " +
                              Common::ToWString(luaL_typename(state, 2)) + L".");
    }
    const boost::shared_ptr<Class> scriptClass = FindClass(scriptName);
    const std::wstring key = ToWideString(state, 2);
    if (key == L"new") {
        const std::wstring constructorName = SplitScriptName(scriptName).back();
        if (!FindScriptFunction(scriptClass, constructorName, ConstructorStyle,
                                boost::shared_ptr<IObject>())) {
            throw ScriptException(scriptName + L" has no constructor (a constructor-style " +
                                  L"function named '" + constructorName + L"').");
        }
        PushBoundCall(state, &ProtectedFunction<&CallConstructor>, constructorName);
        return 1;
    }
    if (!FindScriptFunction(scriptClass, key, StaticStyle, boost::shared_ptr<IObject>())) {
        throw ScriptException(scriptName + L" has no static function named '" + key +
                              L"'; call instance functions on an object with ':'.");
    }
    PushBoundCall(state, &ProtectedFunction<&CallStatic>, key);
    return 1;
}

// Leaves the table `name` of the table on top of the stack on top (creating it when absent);
// false, with nothing pushed, when the field holds something else. Lua only.
bool PushNestedTable(lua_State* state, const std::string& name) {
    luaL_checkstack(state, 4, "class name nested too deep");
    lua_pushlstring(state, name.data(), name.size());
    const int type = lua_rawget(state, -2);
    if (type == LUA_TTABLE) {
        return true;
    }
    lua_pop(state, 1);
    if (type != LUA_TNIL) {
        return false;
    }
    lua_newtable(state);
    lua_pushlstring(state, name.data(), name.size());
    lua_pushvalue(state, -2);
    lua_rawset(state, -4);
    return true;
}

void BuildClassTable(lua_State* state, const std::wstring& scriptName) {
    std::vector<std::string> parts;
    for (const std::wstring& part : SplitScriptName(scriptName)) {
        parts.push_back(EncodeLuaText(part));
    }
    const std::string name = EncodeLuaText(scriptName);
    RunLuaStep(state, 0, 0, [&parts, &name](lua_State* L) {
        lua_pushglobaltable(L);
        for (const std::string& part : parts) {
            if (!PushNestedTable(L, part)) {
                return 0;
            }
        }
        lua_newtable(L);  // the class table's metatable
        lua_pushlstring(L, name.data(), name.size());
        lua_pushcclosure(L, &ProtectedFunction<&IndexClass>, 1);
        lua_setfield(L, -2, "__index");
        lua_setmetatable(L, -2);
        return 0;
    });
}

}  // namespace

void BuildClassTables(lua_State* state) {
    for (const auto& entry : ClassRegistry::GetInstance().GetClasses()) {
        if (entry.second && !entry.second->IsHidden()) {
            BuildClassTable(state, entry.first);
        }
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
