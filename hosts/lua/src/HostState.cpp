#include "HostState.h"

#include "ProtectedCall.h"

#include <new>

namespace VelmorandScript {
namespace Lua {

namespace {

// The host state lives in the extra space of the state's threads (coroutines start with a copy
// of the main thread's): every call into native code reaches it without a table lookup.
HostState*& HostStateSlot(lua_State* state) {
    return *static_cast<HostState**>(lua_getextraspace(state));
}

}  // namespace

HostState::HostState(LuaContext& owner)
    : m_owner(owner),
      m_main(luaL_newstate()),
      m_current(m_main),
      m_closing(false),
      m_cancelRequested(0),
      m_termination(Termination::None),
      m_callDepth(0) {
    if (m_main == nullptr) {
        throw std::bad_alloc();
    }
    HostStateSlot(m_main) = this;
}

HostState::~HostState() {
    Close();
}

HostState& HostState::From(lua_State* state) {
    return *HostStateSlot(state);
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

CallScratch& HostState::BeginCallWithNewScratch() {
    if (m_callDepth == m_scratch.size()) {
        m_scratch.push_back(std::make_unique<CallScratch>());
    }
    CallScratch& scratch = *m_scratch[m_callDepth];
    if (scratch.frame.use_count() != 1) {
        scratch.frame = Detail::MakeShared<CallFrame>();
    }
    ++m_callDepth;
    return scratch;
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
