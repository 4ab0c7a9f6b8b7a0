#include "LuaReference.h"

#include "HostState.h"

namespace VelmorandScript {
namespace Lua {

LuaReference::LuaReference(HostState& host, lua_State* state)
    : m_host(host.shared_from_this()), m_reference(luaL_ref(state, LUA_REGISTRYINDEX)) {}

LuaReference::~LuaReference() {
    if (const boost::shared_ptr<HostState> host = LockHost()) {
        luaL_unref(host->GetCurrentThread(), LUA_REGISTRYINDEX, m_reference);
    }
}

bool LuaReference::Push(lua_State* state) const {
    const boost::shared_ptr<HostState> host = LockHost();
    if (!host || &HostState::From(state) != host.get()) {
        return false;  // the state is gone, or the value belongs to another Lua state
    }
    lua_rawgeti(state, LUA_REGISTRYINDEX, m_reference);
    return true;
}

boost::shared_ptr<HostState> LuaReference::LockHost() const {
    boost::shared_ptr<HostState> host = m_host.lock();
    return host && host->IsOpen() ? host : boost::shared_ptr<HostState>();
}

}  // namespace Lua
}  // namespace VelmorandScript
