#include "HostState.h"

#include "ProtectedCall.h"

#include <new>

namespace VelmorandScript {
namespace Lua {

namespace {
// The address of this object is the registry key of the host state.
const char hostStateKey = 0;
}  // namespace

HostState::HostState(LuaContext& owner)
    : m_owner(owner),
      m_main(luaL_newstate()),
      m_current(m_main),
      m_closing(false),
      m_cancelRequested(0),
      m_termination(Termination::None) {
    if (m_main == nullptr) {
        throw std::bad_alloc();
    }
    lua_pushlightuserdata(m_main, this);
    lua_rawsetp(m_main, LUA_REGISTRYINDEX, &hostStateKey);
}

HostState::~HostState() {
    Close();
}

HostState& HostState::From(lua_State* state) {
    lua_rawgetp(state, LUA_REGISTRYINDEX, &hostStateKey);
    auto* host = static_cast<HostState*>(lua_touserdata(state, -1));
    lua_pop(state, 1);
    return *host;
}

boost::shared_ptr<IScriptContext> HostState::GetSharedContext() const {
    return m_owner.shared_from_this();
}

void HostState::Close() {
    if (m_main == nullptr) {
        return;
    }
    m_closing = true;
    lua_close(m_main);
    m_main = nullptr;
    m_current = nullptr;
}

void HostState::RequestCancel() {
    m_cancelRequested = 1;
    // lua_sethook is safe to call asynchronously; the hook raises at the next instruction.
    ArmCancelHook(m_current);
    ArmCancelHook(m_main);
}

void HostState::ArmCancelHook(lua_State* thread) const {
    if (thread != nullptr && m_cancelRequested != 0) {
        lua_sethook(thread, &CancelHook, LUA_MASKCOUNT, 1);
    }
}

void HostState::Terminate(Termination reason, const std::wstring& message) {
    if (m_termination == Termination::None) {
        m_termination = reason;
        m_terminationMessage = message;
    }
}

void HostState::ResetTermination() {
    m_cancelRequested = 0;
    m_termination = Termination::None;
    m_terminationMessage.clear();
    if (m_main != nullptr) {
        lua_sethook(m_main, nullptr, 0, 0);
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
