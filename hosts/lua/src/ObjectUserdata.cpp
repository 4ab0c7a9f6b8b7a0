#include "ObjectUserdata.h"

#include "CallDispatch.h"
#include "HostState.h"
#include "LuaStep.h"
#include "NumberCalls.h"
#include "ProtectedCall.h"
#include "TypedDispatch.h"
#include "ValueMarshalling.h"

#include <Common/Text.h>

#include <cstdio>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

namespace {

const char* const objectMetatable = "VelmorandScript.Object";
const char* const bindingMetatable = "VelmorandScript.MethodBinding";

// The address of this object is the registry key of the method caches: one table per class
// (by the address of its Class), holding the closures of the methods already resolved in it.
// Lookups resolved once stay resolved for the life of the Lua state, like its class tables.
const char methodCachesKey = 0;
// Keys of light userdata: the mark every object metatable carries, and the field of a method
// cache's metatable that holds the class's own object metatable, when it has one.
const char objectMarkKey = 0;
const char classMetatableKey = 0;
// The registry key of the metatable of objects that the host indexes (also registered by name).
const char objectMetatableKey = 0;

int CollectBinding(lua_State* state) {
    auto* binding = static_cast<MethodBinding*>(luaL_testudata(state, 1, bindingMetatable));
    if (binding != nullptr) {
        binding->~MethodBinding();
        new (binding) MethodBinding();  // stays valid should the userdata be used again
    }
    return 0;
}

/// Pushes the method cache of a class, creating it on first use.
void PushMethodCache(lua_State* state, const boost::shared_ptr<Class>& scriptClass);

boost::shared_ptr<IObject>* TestObjectUserdata(lua_State* state, int index);

[[noreturn]] void RaiseReleased() {
    throw ScriptException(
        L"The native object has been released (its userdata was collected and then used again "
        L"from a finalizer).");
}

const boost::shared_ptr<IObject>& CheckedObject(lua_State* state, int index) {
    const boost::shared_ptr<IObject>* object = TestObjectUserdata(state, index);
    if (object == nullptr) {
        throw ScriptException(L"Expected a native object, got a " +
                              Common::ToWString(luaL_typename(state, index)) + L" value.");
    }
    if (!*object) {
        RaiseReleased();
    }
    return *object;
}

boost::shared_ptr<Class> CheckedClass(const IObject& object) {
    boost::shared_ptr<Class> scriptClass = GetClassOfObject(object);
    if (!scriptClass) {
        throw ScriptException(L"The native object " + object.GetScriptedObject().GetTypeName() +
                              L" belongs to no script class; it has no properties or methods.");
    }
    return scriptClass;
}

// The 0-based array index of a Lua number key: Lua takes a float with an integral value as that
// integer. Throws for a number with a fraction.
lua_Integer ArrayIndex(lua_State* state, int index) {
    int isInteger = 0;
    const lua_Integer position = lua_tointegerx(state, index, &isInteger);
    if (!isInteger) {
        char number[64];
        std::snprintf(number, sizeof number, LUA_NUMBER_FMT, lua_tonumber(state, index));
        throw ScriptException(L"Arrays are indexed by integers, not by " +
                              Common::ToWString(number) + L".");
    }
    return position - 1;
}

int ReadArrayItem(lua_State* state, const IArray& array) {
    int isInteger = 0;
    const lua_Integer position = lua_tointegerx(state, 2, &isInteger);
    // As in a Lua table, a key with a fraction holds nothing.
    const Value item = isInteger ? array.Item(static_cast<long>(position - 1)) : Value();
    PushNativeValue(HostState::From(state), state, item);
    return 1;
}

/// Pushes the closure of a method and keeps it in the method cache of its class, under the key
/// the script indexed with (at `keyIndex`).
void PushMethod(lua_State* state, int keyIndex, const boost::shared_ptr<Class>& scriptClass,
                boost::shared_ptr<IFunction> function, const std::wstring& name) {
    auto numberPlan = std::make_unique<const NumberCallPlan>(*function);
    ReserveStack(state, 3);
    PushMethodCache(state, scriptClass);
    lua_pushvalue(state, keyIndex);
    const CallNames frameNames{TextOrEmpty(scriptClass->GetScriptName()),
                               TextOrEmpty(function->GetName())};
    PushMethodBinding(state,
                      MethodBinding{scriptClass, std::move(function), name, std::move(numberPlan),
                                    lua_topointer(state, -2), frameNames});
    // The cache, the key and the binding become the method's closure, kept in the cache.
    RunLuaStep(state, 3, 1, [](lua_State* L) {
        lua_pushcclosure(L, &CallMethod, 1);
        lua_pushvalue(L, 2);
        lua_pushvalue(L, -2);
        lua_rawset(L, 1);
        return 1;
    });
}

/// The member name an object is indexed with (the key at 2); throws for a key that is no string.
std::wstring MemberName(lua_State* state) {
    if (lua_type(state, 2) != LUA_TSTRING) {
        throw ScriptException(L"Native objects are indexed by property or method name, not by a " +
                              Common::ToWString(luaL_typename(state, 2)) + L".");
    }
    return ToWideString(state, 2);
}

/// Pushes the closure of the method `name` (kept in the class's method cache); throws when the
/// class has no such method, the last thing indexing looks for.
int PushMemberMethod(lua_State* state, const boost::shared_ptr<Class>& scriptClass,
                     const std::wstring& name, const boost::shared_ptr<IObject>& object) {
    if (boost::shared_ptr<IFunction> method =
            Hosting::FindScriptFunction(scriptClass, name, MethodStyles, object)) {
        PushMethod(state, 2, scriptClass, std::move(method), name);
        return 1;
    }
    throw ScriptException(std::wstring(scriptClass->GetScriptName()) +
                          L" has no property or method named '" + name + L"'.");
}

// Whether the class and its bases are plain Class descriptors, whose lookups depend on the name
// alone (an override of FindFunction may look at the object).
bool HasPlainChain(const boost::shared_ptr<Class>& scriptClass) {
    try {
        for (boost::shared_ptr<Class> current = scriptClass; current;
             current = current->GetScriptBase()) {
            const Class& descriptor = *current;
            if (typeid(descriptor) != typeid(Class)) {
                return false;
            }
        }
        return true;
    } catch (const ScriptException&) {
        return false;  // an unregistered base: IndexObject reports it on use
    }
}

/// Keeps the getter of a property in the method cache of its class, under the key the script
/// indexed with (at 2), and returns its binding, which the cache keeps for the life of the state.
const MethodBinding& CacheProperty(lua_State* state, const boost::shared_ptr<Class>& scriptClass,
                                   boost::shared_ptr<IFunction> getter, const std::wstring& name) {
    auto numberPlan = std::make_unique<const NumberCallPlan>(*getter);
    ReserveStack(state, 3);
    PushMethodCache(state, scriptClass);
    lua_pushvalue(state, 2);
    const CallNames frameNames{TextOrEmpty(scriptClass->GetScriptName()),
                               TextOrEmpty(getter->GetName())};
    PushMethodBinding(state,
                      MethodBinding{scriptClass, std::move(getter), name, std::move(numberPlan),
                                    lua_topointer(state, -2), frameNames});
    const auto& binding = *static_cast<const MethodBinding*>(lua_touserdata(state, -1));
    RunLuaStep(state, 3, 0, [](lua_State* L) {
        lua_rawset(L, 1);
        return 0;
    });
    return binding;
}

/// Calls a resolved getter on `object` and leaves its value on top: the getter takes no script
/// arguments, whatever the stack holds.
int ReadProperty(lua_State* state, const MethodBinding& getter,
                 const boost::shared_ptr<IObject>& object) {
    const int top = lua_gettop(state);
    DispatchCall(HostState::From(state), state,
                 CallTarget{getter.scriptClass, getter.name, PropertyGetStyle, object, top + 1,
                            &getter.function, getter.numberPlan.get(), top, &getter.frameNames});
    lua_settop(state, top + 1);  // the property's value, or nil when it returned nothing
    return 1;
}

int IndexObject(lua_State* state) {
    const boost::shared_ptr<IObject>& object = CheckedObject(state, 1);
    if (const auto* array = dynamic_cast<const IArray*>(object.get())) {
        if (lua_type(state, 2) == LUA_TNUMBER) {
            return ReadArrayItem(state, *array);
        }
    }
    const std::wstring name = MemberName(state);
    const boost::shared_ptr<Class> scriptClass = CheckedClass(*object);
    if (boost::shared_ptr<IFunction> getter =
            Hosting::FindScriptFunction(scriptClass, name, PropertyGetStyle, object)) {
        if (HasPlainChain(scriptClass)) {
            return ReadProperty(state, CacheProperty(state, scriptClass, std::move(getter), name),
                                object);
        }
        HostState& host = HostState::From(state);
        DispatchCall(host, state, CallTarget{scriptClass, name, PropertyGetStyle, object, 3});
        lua_settop(state, 3);  // the property's value, or nil when it returned nothing
        return 1;
    }
    return PushMemberMethod(state, scriptClass, name, object);
}

// Reads a property whose getter an __index function found in the method cache: the stack holds
// the object and the key at 1 and 2, and the getter's binding on top.
int ReadCachedProperty(lua_State* state) {
    const auto* getter = static_cast<const MethodBinding*>(lua_touserdata(state, -1));
    const ObjectCell* cell = ObjectOfClass(state, 1, getter->methodCache);
    if (cell == nullptr) {
        lua_settop(state, 2);
        return IndexObject(state);  // not of the getter's class: as before caching
    }
    // An object with the standard wrapper, not released, has its value at hand.
    if (cell->presented != nullptr) {
        const TypedCallPlan* typed = getter->numberPlan->GetTypedPlan();
        if (typed != nullptr && !typed->TakesTexts()) {
            const int pushed = CallTyped(HostState::From(state), state, getter->frameNames, *typed,
                                         *cell->presented, 1, 0, nullptr);
            if (pushed != NotTyped) {
                if (pushed == 0) {
                    lua_pushnil(state);  // a getter that gives nothing reads as nil
                }
                return 1;
            }
        }
    }
    if (!*cell->object) {
        lua_settop(state, 2);
        return IndexObject(state);  // released: as before caching
    }
    return ReadProperty(state, *getter, *cell->object);
}

/// Answers an __index from the method cache at `cache` for the key at 2: a method resolved
/// already is pushed, a getter kept there is called; anything else is IndexObject's. The stack
/// keeps what it holds above the key.
[[gnu::always_inline]] inline int IndexFromCache(lua_State* state, int cache) {
    lua_pushvalue(state, 2);
    const int type = lua_rawget(state, cache);
    if (type == LUA_TFUNCTION) {
        return 1;
    }
    // The only userdata a method cache holds are getter bindings.
    if (type == LUA_TUSERDATA && lua_rawlen(state, -1) == sizeof(MethodBinding)) {
        return ProtectedFunction<&ReadCachedProperty>(state);
    }
    lua_settop(state, 2);
    return ProtectedFunction<&IndexObject>(state);
}

// __index of objects without a class metatable (arrays, objects of no class): the method cache
// is the object's user value.
int IndexObjectCached(lua_State* state) {
    if (lua_type(state, 2) == LUA_TSTRING && lua_type(state, 1) == LUA_TUSERDATA &&
        lua_getiuservalue(state, 1, 1) == LUA_TTABLE) {
        return IndexFromCache(state, 3);
    }
    lua_settop(state, 2);
    return ProtectedFunction<&IndexObject>(state);
}

// __index of the objects of a class that has property getters or looks its functions up by
// object (upvalue: the class's method cache).
int IndexClassMember(lua_State* state) {
    if (lua_type(state, 2) == LUA_TSTRING) {
        return IndexFromCache(state, lua_upvalueindex(1));
    }
    return ProtectedFunction<&IndexObject>(state);
}

int AssignToObject(lua_State* state) {
    const boost::shared_ptr<IObject>& object = CheckedObject(state, 1);
    HostState& host = HostState::From(state);
    if (auto* array = dynamic_cast<IArray*>(object.get())) {
        if (lua_type(state, 2) == LUA_TNUMBER) {
            const lua_Integer index = ArrayIndex(state, 2);
            const long count = array->Count();
            if (index < 0 || index > count) {
                throw ScriptException(L"Array index " + std::to_wstring(index + 1) +
                                      L" is out of range 1.." + std::to_wstring(count + 1) + L".");
            }
            const Value item = ToNativeValue(host, state, 3);
            if (index == count) {
                array->Add(item, false);
            } else {
                array->Replace(static_cast<long>(index), item);
            }
            return 0;
        }
    }
    if (lua_type(state, 2) != LUA_TSTRING) {
        throw ScriptException(L"Native objects have no fields of type " +
                              Common::ToWString(luaL_typename(state, 2)) + L".");
    }
    const boost::shared_ptr<Class> scriptClass = CheckedClass(*object);
    const std::wstring name = ToWideString(state, 2);
    if (!Hosting::FindScriptFunction(scriptClass, name, PropertySetStyle, object)) {
        throw ScriptException(std::wstring(scriptClass->GetScriptName()) +
                              L" has no settable property named '" + name + L"'.");
    }
    lua_settop(state, 3);
    DispatchCall(host, state, CallTarget{scriptClass, name, PropertySetStyle, object, 3});
    return 0;
}

int LengthOfObject(lua_State* state) {
    const boost::shared_ptr<IObject>& object = CheckedObject(state, 1);
    const auto* collection = dynamic_cast<const ICollection*>(object.get());
    if (collection == nullptr) {
        throw ScriptException(std::wstring(CheckedClass(*object)->GetScriptName()) +
                              L" is no collection; it has no length.");
    }
    lua_pushinteger(state, collection->Count());
    return 1;
}

int ObjectToString(lua_State* state) {
    const boost::shared_ptr<IObject>* object = TestObjectUserdata(state, 1);
    std::ostringstream text;
    if (object == nullptr || !*object) {
        // As a closed Lua file prints "file (closed)".
        text << "native object (released)";
    } else {
        const boost::shared_ptr<Class> scriptClass = GetClassOfObject(**object);
        text << (scriptClass ? Common::ToUtf8(scriptClass->GetScriptName()) : "native object")
             << ": " << (*object)->GetScriptedObject().GetValuePtr();
    }
    const std::string bytes = text.str();
    PushBytes(state, bytes.data(), bytes.size());
    return 1;
}

// The iterator of pairs(array): as ipairs, items 1..n in order.
int NextArrayItem(lua_State* state) {
    const lua_Integer position = luaL_checkinteger(state, 2) + 1;
    lua_pushinteger(state, position);
    return lua_geti(state, 1, position) == LUA_TNIL ? 1 : 2;
}

// __pairs: arrays iterate like ipairs.
int ArrayPairs(lua_State* state) {
    lua_pushcfunction(state, &NextArrayItem);
    lua_pushvalue(state, 1);
    lua_pushinteger(state, 0);
    return 3;
}

// The native identity of a wrapper: the storage of an array, else the presented object.
const void* IdentityOf(const IObject& object) {
    if (const auto* array = dynamic_cast<const Array*>(&object)) {
        return array->GetScriptedArray().get();
    }
    return object.GetScriptedObject().GetValuePtr();
}

int ObjectsEqual(lua_State* state) {
    const boost::shared_ptr<IObject>* left = ToObjectUserdata(state, 1);
    const boost::shared_ptr<IObject>* right = ToObjectUserdata(state, 2);
    lua_pushboolean(
        state, left != nullptr && right != nullptr && IdentityOf(**left) == IdentityOf(**right));
    return 1;
}

// The cell of the userdata at `index` when its metatable is one of the object metatables,
// else null.
ObjectCell* TestObjectCell(lua_State* state, int index) {
    void* memory = lua_touserdata(state, index);
    if (memory == nullptr || !lua_getmetatable(state, index)) {
        return nullptr;
    }
    const bool marked = lua_rawgetp(state, -1, &objectMarkKey) == LUA_TBOOLEAN;
    lua_pop(state, 2);
    return marked ? static_cast<ObjectCell*>(memory) : nullptr;
}

boost::shared_ptr<IObject>* TestObjectUserdata(lua_State* state, int index) {
    ObjectCell* cell = TestObjectCell(state, index);
    return cell != nullptr ? cell->object : nullptr;
}

int CollectObject(lua_State* state) {
    if (ObjectCell* cell = TestObjectCell(state, 1)) {
        boost::shared_ptr<IObject>* slot = cell->object;
        cell->object = ObjectSlots::Empty();  // stays valid should the userdata be used again
        cell->presented = nullptr;
        HostState::From(state).GetObjectSlots().Release(slot);
    }
    return 0;
}

/// Fills the table on top with what every object metatable has besides __index.
void SetObjectMetamethods(lua_State* state) {
    const luaL_Reg metamethods[] = {{"__newindex", &ProtectedFunction<&AssignToObject>},
                                    {"__len", &ProtectedFunction<&LengthOfObject>},
                                    {"__tostring", &ProtectedFunction<&ObjectToString>},
                                    {"__eq", &ProtectedFunction<&ObjectsEqual>},
                                    {"__gc", &CollectObject},
                                    {"__pairs", &ArrayPairs},
                                    {nullptr, nullptr}};
    luaL_setfuncs(state, metamethods, 0);
    lua_pushboolean(state, 1);
    lua_rawsetp(state, -2, &objectMarkKey);
}

// Whether the objects of a class find their methods by name alone, in a table lookup that Lua
// makes without calling the host: no property getters anywhere in the chain (they need the
// object) and plain Class descriptors only (an override of FindFunction may look at the
// object). Decided when the first object of the class reaches the state.
bool ResolvesMethodsByNameAlone(const boost::shared_ptr<Class>& scriptClass) {
    if (!HasPlainChain(scriptClass)) {
        return false;
    }
    try {
        FunctionMap functions;
        scriptClass->GetAllFunctions(functions);
        for (const auto& entry : functions) {
            if ((entry.first.second & PropertyGetStyle) != 0) {
                return false;
            }
        }
        return true;
    } catch (const ScriptException&) {
        return false;  // an unregistered base: IndexObject reports it on use
    }
}

// __index of a method cache, for the objects of a class that resolves methods by name alone
// (upvalue: the class's anchor binding). Resolves and caches a method, as IndexObject does.
int ResolveMethod(lua_State* state) {
    const auto* anchor =
        static_cast<const MethodBinding*>(lua_touserdata(state, lua_upvalueindex(1)));
    return PushMemberMethod(state, anchor->scriptClass, MemberName(state),
                            boost::shared_ptr<IObject>());
}

void PushMethodCache(lua_State* state, const boost::shared_ptr<Class>& scriptClass) {
    ReserveStack(state, 3);
    lua_rawgetp(state, LUA_REGISTRYINDEX, &methodCachesKey);
    if (lua_rawgetp(state, -1, scriptClass.get()) == LUA_TTABLE) {
        lua_remove(state, -2);
        return;
    }
    lua_pop(state, 1);
    const bool byNameAlone = ResolvesMethodsByNameAlone(scriptClass);
    PushMethodBinding(state, MethodBinding{scriptClass, boost::shared_ptr<IFunction>(), L"",
                                           nullptr, nullptr, CallNames()});
    // From the caches and the class's anchor binding: the new cache, registered.
    RunLuaStep(state, 2, 1, [byNameAlone, key = scriptClass.get()](lua_State* L) {
        lua_newtable(L);  // 3: the cache
        lua_newtable(L);  // 4: its metatable
        lua_pushvalue(L, 2);
        lua_pushcclosure(L, &ProtectedFunction<&ResolveMethod>, 1);
        lua_setfield(L, 4, "__index");
        // The class's object metatable: methods come from the cache, straight from Lua when
        // nothing else needs the host.
        lua_newtable(L);
        SetObjectMetamethods(L);
        lua_pushvalue(L, 3);
        if (!byNameAlone) {
            lua_pushcclosure(L, &IndexClassMember, 1);
        }
        lua_setfield(L, -2, "__index");
        lua_rawsetp(L, 4, &classMetatableKey);
        lua_setmetatable(L, 3);
        lua_pushvalue(L, 3);
        lua_rawsetp(L, 1, key);
        return 1;
    });
}

}  // namespace

void PushMethodBinding(lua_State* state, MethodBinding binding) {
    // The userdata holds an empty binding from the start, so that it is valid whatever fails;
    // the binding moves in once Lua can fail no more.
    RunLuaStep(state, 0, 1, [](lua_State* L) {
        new (lua_newuserdatauv(L, sizeof(MethodBinding), 0)) MethodBinding();
        luaL_setmetatable(L, bindingMetatable);
        return 1;
    });
    *static_cast<MethodBinding*>(lua_touserdata(state, -1)) = std::move(binding);
}

int CallMethodOnOtherValue(HostState& host, lua_State* state, const MethodBinding& binding) {
    // Any other object has the method looked up in its own class.
    const boost::shared_ptr<IObject>* object = TestObjectUserdata(state, 1);
    if (object != nullptr && !*object) {
        RaiseReleased();
    }
    if (object == nullptr) {
        throw ScriptException(L"Call the method '" + binding.name +
                              L"' on an object with ':', as in obj:" + binding.name + L"(...).");
    }
    return DispatchCall(host, state,
                        CallTarget{CheckedClass(**object), binding.name, MethodStyles, *object, 2});
}

void RegisterObjectMetatable(lua_State* state) {
    luaL_newmetatable(state, bindingMetatable);
    lua_pushcfunction(state, &CollectBinding);
    lua_setfield(state, -2, "__gc");
    lua_pop(state, 1);
    lua_newtable(state);
    lua_rawsetp(state, LUA_REGISTRYINDEX, &methodCachesKey);

    luaL_newmetatable(state, objectMetatable);
    SetObjectMetamethods(state);
    lua_pushcfunction(state, &IndexObjectCached);
    lua_setfield(state, -2, "__index");
    lua_rawsetp(state, LUA_REGISTRYINDEX, &objectMetatableKey);
}

void PushObjectUserdata(lua_State* state, boost::shared_ptr<IObject> object) {
    const boost::shared_ptr<Class> scriptClass =
        object ? GetClassOfObject(*object) : boost::shared_ptr<Class>();
    // The standard wrapper is no array: most objects need no cross cast to tell.
    const IObject* wrapper = object.get();
    const bool isArray = wrapper != nullptr && typeid(*wrapper) != typeid(Object) &&
                         dynamic_cast<const IArray*>(wrapper) != nullptr;
    ReserveStack(state, 4);
    // The user value is the method cache of the object's class, for IndexObjectCached.
    if (scriptClass) {
        PushMethodCache(state, scriptClass);
        lua_getmetatable(state, -1);
        lua_rawgetp(state, -1, &classMetatableKey);
        lua_remove(state, -2);
    } else {
        lua_pushnil(state);
        lua_pushnil(state);
    }
    // Arrays are also indexed by number, which the class's own metatable does not answer.
    if (isArray || !lua_istable(state, -1)) {
        lua_pop(state, 1);
        lua_rawgetp(state, LUA_REGISTRYINDEX, &objectMetatableKey);
    }
    const void* methodCache = lua_istable(state, -2) ? lua_topointer(state, -2) : nullptr;
    // The userdata holds an empty pointer from the start, and takes the object (and its
    // finalizer) only once nothing can fail any more.
    RunLuaStep(state, 0, 1, [](lua_State* L) {
        new (lua_newuserdatauv(L, sizeof(ObjectCell), 1)) ObjectCell();
        return 1;
    });
    auto* cell = static_cast<ObjectCell*>(lua_touserdata(state, -1));
    cell->object = HostState::From(state).GetObjectSlots().Hold(std::move(object));
    if (wrapper != nullptr && typeid(*wrapper) == typeid(Object)) {
        cell->presented = &static_cast<const Object*>(wrapper)->GetScriptedObjectRef();
    }
    cell->methodCache = methodCache;
    lua_rotate(state, -3, 1);  // the userdata, the cache, the metatable
    lua_setmetatable(state, -3);
    if (lua_istable(state, -1)) {
        lua_setiuservalue(state, -2, 1);
    } else {
        lua_pop(state, 1);
    }
}

const boost::shared_ptr<IObject>* ToObjectUserdata(lua_State* state, int index) {
    const boost::shared_ptr<IObject>* object = TestObjectUserdata(state, index);
    return object != nullptr && *object ? object : nullptr;
}

boost::shared_ptr<Class> GetClassOfObject(const IObject& object) {
    // The standard wrapper itself needs no cross cast; one derived from it does.
    const Object* standard = typeid(object) == typeid(Object)
                                 ? static_cast<const Object*>(&object)
                                 : dynamic_cast<const Object*>(&object);
    if (standard != nullptr) {
        if (boost::shared_ptr<Class> scriptClass = standard->GetClass()) {
            return scriptClass;
        }
    }
    return ClassRegistry::GetInstance().FindClassByCppType(object.GetScriptedObject());
}

}  // namespace Lua
}  // namespace VelmorandScript
