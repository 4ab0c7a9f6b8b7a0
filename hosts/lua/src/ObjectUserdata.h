#pragma once

// Native objects in Lua: a full userdata that owns a shared pointer to the object's wrapper
// (IObject). Indexing it resolves property gets and methods through the wrapper's class,
// assigning to it calls property sets; array wrappers also answer to #a and a[i].

#include <VelmorandScript/VelmorandScript.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>

namespace VelmorandScript {
namespace Lua {

/// Creates the metatable shared by all object userdata.
void RegisterObjectMetatable(lua_State* state);

/// Pushes a new userdata that owns (a share of) the wrapper.
void PushObjectUserdata(lua_State* state, boost::shared_ptr<IObject> object);

/// The wrapper an object userdata at `index` owns; null for any other value.
const boost::shared_ptr<IObject>* ToObjectUserdata(lua_State* state, int index);

/// The script class of a wrapper: its own class, else the class of the value it presents.
boost::shared_ptr<Class> GetClassOfObject(const IObject& object);

}  // namespace Lua
}  // namespace VelmorandScript
