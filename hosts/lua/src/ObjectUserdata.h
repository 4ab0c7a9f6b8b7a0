#pragma once

// Native objects in Lua: a full userdata that owns a shared pointer to the object's wrapper
// (IObject). Indexing it resolves property gets and methods through the wrapper's class,
// assigning to it calls property sets; array wrappers also answer to #a and a[i]. Resolved
// methods, and the property getters of classes that look functions up by name alone, are kept
// in a cache per class. Objects of a class without property getters have a metatable of the
// class's own whose __index is that cache, so Lua finds a method resolved before without calling
// the host. A method closure calls through CallMethod (CallDispatch.h).

#include "CallFrame.h"
#include "ObjectSlots.h"

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace VelmorandScript {
namespace Lua {

class HostState;
// Declared only: NumberCalls.h reaches this header through the typed calls. The files that make
// or destroy bindings include NumberCalls.h.
class NumberCallPlan;

/// Creates the metatable of the objects whose class needs the host to index them.
void RegisterObjectMetatable(lua_State* state);

/// Pushes a new userdata that owns (a share of) the wrapper.
void PushObjectUserdata(lua_State* state, boost::shared_ptr<IObject> object);

/// The wrapper an object userdata at `index` owns; null for any other value.
const boost::shared_ptr<IObject>* ToObjectUserdata(lua_State* state, int index);

/// The script class of a wrapper: its own class, else the class of the value it presents.
boost::shared_ptr<Class> GetClassOfObject(const IObject& object);

// What method closures (CallMethod in CallDispatch.cpp) work with.

/// The styles a method closure calls its function in.
constexpr long MethodStyles = InstanceStyle | CommandStyle;

/// What a method closure calls: the function resolved by name in a class. The closures of static
/// functions and constructors and the property getters kept in a method cache hold one too. Also
/// anchors a class in the metatable of its method cache, with no function, so that the cache's
/// key stays that class.
struct MethodBinding {
    boost::shared_ptr<Class> scriptClass;
    boost::shared_ptr<IFunction> function;
    std::wstring name;
    /// How calls of the function with numbers fill their arguments; null for an anchor.
    std::unique_ptr<const NumberCallPlan> numberPlan;
    /// The method cache of the class (lua_topointer): tables do not move, and the registry
    /// keeps the cache for the life of the state. Null for a static function or constructor.
    const void* methodCache = nullptr;
    /// The names the function's calls are framed with, taken when it was resolved: the method
    /// cache keeps what it resolved then, names included.
    CallNames frameNames;
};

/// Pushes a userdata that holds `binding` and destroys it when collected.
void PushMethodBinding(lua_State* state, MethodBinding binding);

/// The memory of an object userdata: the wrapper, and the method cache of the object's class
/// (lua_topointer, null without a class), the same table that is the userdata's user value. A
/// method closure recognises an object of its class by that address, checked after the
/// block's size and mark, without asking Lua for the user value: that took Lua longer than the
/// rest of the check.
struct ObjectCell {
    static constexpr std::uint64_t Mark = 0x56534f626a656374;  // "VSObject"

    /// The object's slot in the host's ObjectSlots; ObjectSlots::Empty() once released.
    boost::shared_ptr<IObject>* object = ObjectSlots::Empty();
    /// The value the object's standard wrapper presents (Object::GetScriptedObjectRef), kept
    /// at hand for calls; null for any other wrapper, and once released.
    const Value* presented = nullptr;
    const void* methodCache = nullptr;
    std::uint64_t mark = Mark;
};

/// The object userdata at `index` when it belongs to the class whose method cache that is;
/// null for any other value.
inline const ObjectCell* ObjectOfClass(lua_State* state, int index, const void* methodCache) {
    // Only a full userdata has both an address and a length.
    const auto* cell = static_cast<const ObjectCell*>(lua_touserdata(state, index));
    if (cell == nullptr || lua_rawlen(state, index) != sizeof(ObjectCell) ||
        cell->mark != ObjectCell::Mark || cell->methodCache != methodCache ||
        methodCache == nullptr) {
        return nullptr;
    }
    return cell;
}

/// The call of a method closure on a value that is no object of the binding's class: the
/// method is looked up in the object's own class. Throws for a value that is no object.
int CallMethodOnOtherValue(HostState& host, lua_State* state, const MethodBinding& binding);

}  // namespace Lua
}  // namespace VelmorandScript
