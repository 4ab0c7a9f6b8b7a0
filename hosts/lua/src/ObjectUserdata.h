#pragma once

// Native objects in Lua: a full userdata that owns a shared pointer to the object's wrapper
// (IObject). Indexing it resolves property gets and methods through the wrapper's class,
// assigning to it calls property sets; array wrappers also answer to #a and a[i]. Resolved
// methods are kept in a cache per class. Objects of a class without property getters have a
// metatable of the class's own whose __index is that cache, so Lua finds a method resolved
// before without calling the host.

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

namespace VelmorandScript {
namespace Lua {

/// Creates the metatable of the objects whose class needs the host to index them.
void RegisterObjectMetatable(lua_State* state);

/// Pushes a new userdata that owns (a share of) the wrapper.
void PushObjectUserdata(lua_State* state, boost::shared_ptr<IObject> object);

/// The wrapper an object userdata at `index` owns; null for any other value.
const boost::shared_ptr<IObject>* ToObjectUserdata(lua_State* state, int index);

/// The script class of a wrapper: its own class, else the class of the value it presents.
boost::shared_ptr<Class> GetClassOfObject(const IObject& object);

}  // namespace Lua
}  // namespace VelmorandScript
