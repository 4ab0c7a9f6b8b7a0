#include "HostState.h"

#include "LuaReference.h"
#include "ProtectedCall.h"

#include <boost/make_shared.hpp>

#include <new>

namespace VelmorandScript {
namespace Lua {

HostState::HostState(LuaContext& owner)
    : m_owner(owner),
      m_main(luaL_newstate()),
      m_current(m_main.load()),
      m_thread(std::this_thread::get_id()),
      m_closing(false),
      m_cancelRequested(0),
      m_termination(Termination::None),
      m_cancelText(ScriptCancelException().what()),
      m_releases(boost::make_shared<ReleaseQueue>()),
      m_callDepth(0) {
    if (GetMainThread() == nullptr) {
        throw std::bad_alloc();
    }
    Slot(GetMainThread()) = this;
}

HostState::~HostState() {
    Close();
}

boost::shared_ptr<IScriptContext> HostState::GetSharedContext() const {
    return m_owner.shared_from_this();
}

void HostState::Close() {
    lua_State* main = GetMainThread();
    if (main == nullptr) {
        return;
    }
    m_closing = true;
    m_pendingError.value.reset();
    lua_close(main);
    // Objects whose finalizers Lua could not call.
    m_objects.ReleaseAll();
    m_main.store(nullptr);
    m_current.store(nullptr);
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
    m_cancelRequested.store(1);
    // lua_sethook is safe to call asynchronously; the hook raises at the next instruction.
    ArmTerminationHook(GetCurrentThread());
    ArmTerminationHook(GetMainThread());
}

void HostState::ArmTerminationHook(lua_State* thread) const {
    if (thread != nullptr && GetTermination() != Termination::None) {
        lua_sethook(thread, &TerminationHook, LUA_MASKCOUNT, 1);
    }
}

Termination HostState::GetTermination() const {
    const Termination termination = m_termination.load();
    if (termination == Termination::None && IsCancelRequested()) {
        return Termination::Cancel;
    }
    return termination;
}

std::string HostState::GetTerminationMessage() const {
    if (m_termination.load() == Termination::None) {
        return IsCancelRequested() ? m_cancelText : std::string();
    }
    return std::string(m_terminationText.Data(), m_terminationText.Size());
}

void HostState::Terminate(Termination reason, const char* message) noexcept {
    if (m_termination.load() != Termination::None) {
        return;
    }
    m_terminationText.Assign(reason == Termination::Cancel ? m_cancelText.c_str() : message);
    m_termination.store(reason);
    ArmTerminationHook(GetCurrentThread());
    ArmTerminationHook(GetMainThread());
}

void HostState::ResetTermination() {
    m_cancelRequested.store(0);
    m_termination = Termination::None;
    m_terminationText.Clear();
    if (lua_State* main = GetMainThread()) {
        lua_sethook(main, nullptr, 0, 0);
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
