#pragma once

// A Lua value kept alive for native code: functions handed to native functions, tables behind
// arrays and hashes, error values travelling through native code.

#include <VelmorandScript/Errors.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <string>

namespace VelmorandScript {
namespace Lua {

class HostState;

class LuaReference {
public:
    /// Pops the value on top of `state` into the registry.
    LuaReference(HostState& host, lua_State* state);
    /// Releases the registry entry unless the state is already gone.
    ~LuaReference();
    LuaReference(const LuaReference&) = delete;
    LuaReference& operator=(const LuaReference&) = delete;

    /// Pushes the value onto `state`; pushes nothing and returns false once the state is gone or
    /// when `state` belongs to another Lua state.
    bool Push(lua_State* state) const;
    /// The host while its state is open; empty afterwards.
    boost::shared_ptr<HostState> LockHost() const;

private:
    boost::weak_ptr<HostState> m_host;
    int m_reference;
};

/// A Lua error raised in a script function that native code called; carries the original error
/// value back to Lua when it passes through native code unchanged.
class LuaErrorException : public ScriptException {
public:
    LuaErrorException(const std::wstring& message, boost::shared_ptr<LuaReference> errorValue)
        : ScriptException(message), m_errorValue(std::move(errorValue)) {}

    const boost::shared_ptr<LuaReference>& GetErrorValue() const { return m_errorValue; }

private:
    boost::shared_ptr<LuaReference> m_errorValue;
};

}  // namespace Lua
}  // namespace VelmorandScript
