#pragma once

#include <lua.hpp>

namespace VelmorandScript {
namespace Lua {

/// Restores the stack top when a C++ scope ends, also through an exception; `Keep` makes the
/// values pushed since then stay. A null state guards nothing.
class StackGuard {
public:
    explicit StackGuard(lua_State* state)
        : m_state(state), m_top(state != nullptr ? lua_gettop(state) : 0) {}
    ~StackGuard() {
        if (m_state != nullptr) {
            lua_settop(m_state, m_top);
        }
    }
    StackGuard(const StackGuard&) = delete;
    StackGuard& operator=(const StackGuard&) = delete;

    void Keep() { m_state = nullptr; }

private:
    lua_State* m_state;
    int m_top;
};

}  // namespace Lua
}  // namespace VelmorandScript
