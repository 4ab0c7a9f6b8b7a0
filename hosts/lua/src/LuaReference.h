#pragma once

// A Lua value kept alive for native code: functions handed to native functions, tables behind
// arrays and hashes, error values travelling through native code.
//
// Native code may release such a value on any thread, but only the state's own thread may
// touch the state. So a reference never frees its registry entry itself: it hands the entry to
// the state's release queue, which the state's thread empties at its next call into the host.

#include <VelmorandScript/Errors.h>

#include <lua.hpp>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <atomic>
#include <memory>
#include <string>

namespace VelmorandScript {
namespace Lua {

class HostState;

/// Registry entries released on any thread, waiting for the state's thread. Push is lock-free
/// and never allocates (each reference brings its node along); only Drain touches the state.
class ReleaseQueue {
public:
    struct Node {
        int reference = LUA_NOREF;
        Node* next = nullptr;
    };

    ReleaseQueue() = default;
    ReleaseQueue(const ReleaseQueue&) = delete;
    ReleaseQueue& operator=(const ReleaseQueue&) = delete;
    /// Frees the nodes of a state that closed before draining them.
    ~ReleaseQueue();

    void Push(std::unique_ptr<Node> node) noexcept;
    bool IsEmpty() const noexcept { return m_head.load(std::memory_order_relaxed) == nullptr; }
    /// Frees every queued registry entry; on the state's own thread only.
    void Drain(lua_State* state) noexcept;

private:
    static void Delete(Node* list) noexcept;

    std::atomic<Node*> m_head{nullptr};
};

class LuaReference {
public:
    /// Pops the value on top of `state` into the registry. Throws std::bad_alloc when Lua or
    /// C++ runs out of memory; the value is popped all the same.
    LuaReference(HostState& host, lua_State* state);
    /// Queues the registry entry for release by the state's thread.
    ~LuaReference();
    LuaReference(const LuaReference&) = delete;
    LuaReference& operator=(const LuaReference&) = delete;

    /// Pushes the value onto `state`; pushes nothing and returns false once the state is gone,
    /// when `state` belongs to another Lua state, or on a thread other than the state's.
    bool Push(lua_State* state) const;
    /// The host while its state is open; empty afterwards.
    boost::shared_ptr<HostState> LockHost() const;

private:
    boost::weak_ptr<HostState> m_host;
    boost::shared_ptr<ReleaseQueue> m_releases;
    std::unique_ptr<ReleaseQueue::Node> m_node;
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
