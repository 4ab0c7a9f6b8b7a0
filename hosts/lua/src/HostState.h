#pragma once

// The host's side of one Lua state: what every C function of the host reaches from its
// lua_State (stored in the Lua registry), shared with the references that native code may
// keep to Lua values.

#include "CallFrame.h"

#include <VelmorandScript/Lua/LuaHost.h>

#include <lua.hpp>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include <csignal>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace VelmorandScript {
namespace Lua {

/// Why the running script is being ended; neither may be caught by the script.
enum class Termination { None, Abort, Cancel };

class HostState : public boost::enable_shared_from_this<HostState> {
public:
    explicit HostState(LuaContext& owner);
    ~HostState();
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    /// The host state of a Lua state (or of one of its coroutines) made by this host.
    static HostState& From(lua_State* state);

    lua_State* GetMainThread() const { return m_main; }
    /// The thread that made the innermost call into native code; the main thread otherwise.
    /// Native code that reaches back into Lua works on it.
    lua_State* GetCurrentThread() const { return m_current; }
    LuaContext& GetOwner() const { return m_owner; }
    /// The owning context as native code receives it.
    boost::shared_ptr<IScriptContext> GetSharedContext() const;

    /// False once the state started closing: nothing may touch it any more.
    bool IsOpen() const { return m_main != nullptr && !m_closing; }
    /// Closes the Lua state (finalizers run, objects release their native objects).
    void Close();

    // Cancel and abort. The cancel flag is set from CancelScript, possibly in a signal handler.
    void RequestCancel();
    bool IsCancelRequested() const { return m_cancelRequested != 0; }
    void Terminate(Termination reason, const std::wstring& message);
    Termination GetTermination() const { return m_termination; }
    const std::wstring& GetTerminationMessage() const { return m_terminationMessage; }
    /// Forgets cancel requests and terminations at the end of a run.
    void ResetTermination();
    /// Installs the cancel hook on a thread when a cancel is pending.
    void ArmCancelHook(lua_State* thread) const;

    /// The frame and argument vector of a call into native code that starts now. They are kept
    /// from call to call, one pair per depth of nested calls: the frame is unshared (a new one
    /// replaces a frame that native code kept), and the vector may still hold numbers of an
    /// earlier call, whose holders the call may reuse.
    CallScratch& BeginCall() {
        if (m_callDepth < m_scratch.size()) {
            CallScratch& scratch = *m_scratch[m_callDepth];
            if (scratch.frame.use_count() == 1) {
                ++m_callDepth;
                return scratch;
            }
        }
        return BeginCallWithNewScratch();
    }
    /// Ends the innermost call, whose scratch BeginCall gave: its values are released, except
    /// numbers held by copy, which keep nothing else alive.
    void EndCall(CallScratch& scratch) noexcept {
        --m_callDepth;
        for (Value& value : scratch.values) {
            if (!value.IsNumber() || value.IsInsideSmartPointer()) {
                value = Value();
            }
        }
    }

    std::wstring scriptName;

private:
    friend class CurrentThreadScope;

    LuaContext& m_owner;
    lua_State* m_main;
    lua_State* m_current;
    bool m_closing;
    volatile std::sig_atomic_t m_cancelRequested;
    Termination m_termination;
    std::wstring m_terminationMessage;
    /// BeginCall for a depth not reached before or a frame that native code kept.
    CallScratch& BeginCallWithNewScratch();

    /// The scratch of each call depth, each in its own allocation so that it stays put while
    /// calls nest deeper.
    std::vector<std::unique_ptr<CallScratch>> m_scratch;
    std::size_t m_callDepth;
};

/// Makes a thread the current one for the duration of a call into native code.
class CurrentThreadScope {
public:
    CurrentThreadScope(HostState& host, lua_State* thread)
        : m_host(host), m_previous(host.m_current) {
        host.m_current = thread;
    }
    ~CurrentThreadScope() { m_host.m_current = m_previous; }
    CurrentThreadScope(const CurrentThreadScope&) = delete;
    CurrentThreadScope& operator=(const CurrentThreadScope&) = delete;

private:
    HostState& m_host;
    lua_State* m_previous;
};

}  // namespace Lua
}  // namespace VelmorandScript
