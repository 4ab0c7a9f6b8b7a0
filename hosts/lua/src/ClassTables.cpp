#include "ClassTables.h"

#include "CallDispatch.h"
#include "HostState.h"
#include "LuaStep.h"
#include "LuaText.h"
#include "NumberCalls.h"
#include "ObjectUserdata.h"
#include "ProtectedCall.h"
#include "TypedDispatch.h"
#include "ValueMarshalling.h"

#include <VelmorandScript/VelmorandScript.h>

#include <Common/Text.h>

#include <memory>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

namespace {

using Hosting::SplitScriptName;

boost::shared_ptr<Class> FindClass(const std::wstring& scriptName) {
    boost::shared_ptr<Class> scriptClass =
        ClassRegistry::GetInstance().FindClassByScriptName(scriptName);
    if (!scriptClass) {
        throw ScriptException(L"The class " + scriptName + L" is no longer registered.");
    }
    return scriptClass;
}

// Static functions and constructors are called on no object.
const boost::shared_ptr<IObject> noObject;
const Value noValue;

// The C function of static function and constructor closures (upvalue: the MethodBinding of the
// function, resolved when the class table was first indexed with its name).
template <long Style>
int CallClassFunction(lua_State* state) {
    const auto* binding =
        static_cast<const MethodBinding*>(lua_touserdata(state, lua_upvalueindex(1)));
    const TypedCallPlan* typed = binding->numberPlan->GetTypedPlan();
    if (typed != nullptr && !typed->TakesTexts()) {
        const int pushed = CallTyped(HostState::From(state), state, binding->frameNames, *typed,
                                     noValue, 1, lua_gettop(state), nullptr);
        if (pushed != NotTyped) {
            return pushed;
        }
    }
    return DispatchCall(
        HostState::From(state), state,
        CallTarget{binding->scriptClass, binding->name, Style, noObject, 1, &binding->function,
                   binding->numberPlan.get(), lua_gettop(state), &binding->frameNames});
}

/// Pushes the closure that calls `function` and keeps it in the class table (at 1) under the
/// key indexed (at 2): later uses of the name find it without calling the host.
template <long Style>
int PushClassFunction(lua_State* state, const boost::shared_ptr<Class>& scriptClass,
                      boost::shared_ptr<IFunction> function, const std::wstring& name) {
    auto numberPlan = std::make_unique<const NumberCallPlan>(*function);
    const CallNames frameNames{TextOrEmpty(scriptClass->GetScriptName()),
                               TextOrEmpty(function->GetName())};
    lua_settop(state, 2);
    PushMethodBinding(state, MethodBinding{scriptClass, std::move(function), name,
                                           std::move(numberPlan), nullptr, frameNames});
    RunLuaStep(state, 3, 1, [](lua_State* L) {
        lua_pushcclosure(L, &ProtectedFunction<&CallClassFunction<Style>>, 1);
        lua_pushvalue(L, 2);
        lua_pushvalue(L, -2);
        lua_rawset(L, 1);
        return 1;
    });
    return 1;
}

// __index of a class table (upvalue: the class's script name): resolves `new` or a static
// function once and keeps its closure in the table.
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
        boost::shared_ptr<IFunction> constructor = Hosting::FindScriptFunction(
            scriptClass, constructorName, ConstructorStyle, boost::shared_ptr<IObject>());
        if (!constructor) {
            throw ScriptException(scriptName + L" has no constructor (a constructor-style " +
                                  L"function named '" + constructorName + L"').");
        }
        return PushClassFunction<ConstructorStyle>(state, scriptClass, std::move(constructor),
                                                   constructorName);
    }
    boost::shared_ptr<IFunction> function =
        Hosting::FindScriptFunction(scriptClass, key, StaticStyle, boost::shared_ptr<IObject>());
    if (!function) {
        throw ScriptException(scriptName + L" has no static function named '" + key +
                              L"'; call instance functions on an object with ':'.");
    }
    return PushClassFunction<StaticStyle>(state, scriptClass, std::move(function), key);
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
