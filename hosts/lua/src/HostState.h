#pragma once

// The host's side of one Lua state: what every C function of the host reaches from its
// lua_State (stored in the Lua registry), shared with the references that native code may
// keep to Lua values.

#include "CallFrame.h"
#include "FixedText.h"
#include "LuaReference.h"
#include "ObjectSlots.h"

#include <VelmorandScript/Lua/LuaHost.h>

#include <lua.hpp>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
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
    static HostState& From(lua_State* state) { return *Slot(state); }

    lua_State* GetMainThread() const { return m_main.load(std::memory_order_relaxed); }
    /// The thread that made the innermost call into native code; the main thread otherwise.
    /// Native code that reaches back into Lua works on it.
    lua_State* GetCurrentThread() const { return m_current.load(std::memory_order_relaxed); }
    /// Whether the calling thread is the one the state runs on (the one that created the
    /// context or started its latest run): the only thread that may touch the state.
    bool IsOwnThread() const {
        return std::this_thread::get_id() == m_thread.load(std::memory_order_relaxed);
    }
    /// Makes the calling thread the one the state runs on (a run starts).
    void AdoptCallingThread() { m_thread.store(std::this_thread::get_id()); }
    /// Where references released anywhere wait for this thread to free them.
    const boost::shared_ptr<ReleaseQueue>& GetReleaseQueue() const { return m_releases; }
    /// The native objects of the state's object userdata.
    ObjectSlots& GetObjectSlots() { return m_objects; }
    /// Frees the references released since the last call (on the state's own thread).
    void FreeReleasedReferences() {
        if (!m_releases->IsEmpty()) {
            m_releases->Drain(GetCurrentThread());
        }
    }
    LuaContext& GetOwner() const { return m_owner; }
    /// The owning context as native code receives it.
    boost::shared_ptr<IScriptContext> GetSharedContext() const;

    /// False once the state started closing: nothing may touch it any more.
    bool IsOpen() const { return GetMainThread() != nullptr && !m_closing; }
    /// Closes the Lua state (finalizers run, objects release their native objects).
    void Close();

    // Cancel and abort. The cancel flag is set from CancelScript, possibly in a signal handler
    // or on another thread.
    void RequestCancel();
    bool IsCancelRequested() const { return m_cancelRequested.load() != 0; }
    /// Records that the script is to end (the first reason wins) and makes every thread of the
    /// state raise at its next instruction, so that nothing between the request and the host
    /// (a finalizer, a __close handler, native code that catches everything) can keep it
    /// running. Never allocates. `message` is UTF-8.
    void Terminate(Termination reason, const char* message) noexcept;
    /// The recorded termination; a pending cancel request counts as one.
    Termination GetTermination() const;
    /// Whether GetTermination has anything to report (asked after every call into native code).
    bool IsTerminating() const {
        return m_termination.load() != Termination::None || IsCancelRequested();
    }
    /// The text of the recorded termination (UTF-8).
    const FixedText& GetTerminationText() const { return m_terminationText; }
    /// The same as a string, the cancel text for a cancel that was only requested.
    std::string GetTerminationMessage() const;
    /// Forgets cancel requests and terminations at the end of a run.
    void ResetTermination();
    /// Installs the termination hook on a thread when a termination or cancel is pending.
    void ArmTerminationHook(lua_State* thread) const;

    /// The error of the innermost failed native call, kept without allocating until the call's
    /// C++ frames are gone and it can be raised in Lua.
    struct PendingError {
        enum class Kind { Text, OutOfMemory, LuaValue, Termination } kind = Kind::Text;
        FixedText text;
        boost::shared_ptr<LuaReference> value;
    };
    PendingError& GetPendingError() { return m_pendingError; }

    /// The frame and argument vector of a call into native code that starts now. They are kept
    /// from call to call, one pair per depth of nested calls: the frame is unshared (a new one
    /// replaces a frame that native code kept), and the vector may still hold numbers of an
    /// earlier call, whose holders the call may reuse.
    CallScratch& BeginCall() {
        FreeReleasedReferences();
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

    /// Whether calls may go through functions' typed entries (LuaContext::SetTypedCalls).
    bool UsesTypedCalls() const { return m_typedCalls; }
    void SetTypedCalls(bool enabled) { m_typedCalls = enabled; }
    /// Counts the calls made through a typed entry (LuaContext::GetTypedCallCount).
    void CountTypedCall() { ++m_typedCallCount; }
    std::uint64_t GetTypedCallCount() const { return m_typedCallCount; }

private:
    friend class CurrentThreadScope;

    // The host state lives in the extra space of the state's threads (coroutines start with a
    // copy of the main thread's): every call into native code reaches it without a table lookup.
    static HostState*& Slot(lua_State* state) {
        return *static_cast<HostState**>(lua_getextraspace(state));
    }

    LuaContext& m_owner;
    std::atomic<lua_State*> m_main;
    /// Read by CancelScript, from any thread.
    std::atomic<lua_State*> m_current;
    std::atomic<std::thread::id> m_thread;
    bool m_closing;
    /// Lock-free, so that a signal handler may set it.
    std::atomic<int> m_cancelRequested;
    /// Read by CancelScript, from any thread.
    std::atomic<Termination> m_termination;
    FixedText m_terminationText;
    /// The cancel text, made once: a cancel may arrive where nothing can be allocated.
    std::string m_cancelText;
    PendingError m_pendingError;
    boost::shared_ptr<ReleaseQueue> m_releases;
    ObjectSlots m_objects;
    /// BeginCall for a depth not reached before or a frame that native code kept.
    CallScratch& BeginCallWithNewScratch();

    /// The scratch of each call depth, each in its own allocation so that it stays put while
    /// calls nest deeper.
    std::vector<std::unique_ptr<CallScratch>> m_scratch;
    std::size_t m_callDepth;
    bool m_typedCalls = true;
    std::uint64_t m_typedCallCount = 0;
};

/// Makes a thread the current one for the duration of a call into native code.
class CurrentThreadScope {
public:
    CurrentThreadScope(HostState& host, lua_State* thread)
        : m_host(host), m_previous(host.GetCurrentThread()) {
        host.m_current.store(thread, std::memory_order_relaxed);
    }
    ~CurrentThreadScope() { m_host.m_current.store(m_previous, std::memory_order_relaxed); }
    CurrentThreadScope(const CurrentThreadScope&) = delete;
    CurrentThreadScope& operator=(const CurrentThreadScope&) = delete;

private:
    HostState& m_host;
    lua_State* m_previous;
};

}  // namespace Lua
}  // namespace VelmorandScript
