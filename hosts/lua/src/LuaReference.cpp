#include "LuaReference.h"

#include "HostState.h"
#include "LuaStep.h"

namespace VelmorandScript {
namespace Lua {

ReleaseQueue::~ReleaseQueue() {
    Delete(m_head.exchange(nullptr));
}

void ReleaseQueue::Push(std::unique_ptr<Node> node) noexcept {
    Node* pushed = node.release();
    pushed->next = m_head.load(std::memory_order_relaxed);
    while (!m_head.compare_exchange_weak(pushed->next, pushed, std::memory_order_release,
                                         std::memory_order_relaxed)) {
    }
}

void ReleaseQueue::Drain(lua_State* state) noexcept {
    // The consumer takes the whole list at once, so pushes never race with it node by node.
    Node* list = m_head.exchange(nullptr, std::memory_order_acquire);
    for (Node* node = list; node != nullptr; node = node->next) {
        // Freeing an entry only rewrites registry slots that exist already: it never allocates,
        // so it cannot raise.
        luaL_unref(state, LUA_REGISTRYINDEX, node->reference);
    }
    Delete(list);
}

void ReleaseQueue::Delete(Node* list) noexcept {
    while (list != nullptr) {
        Node* next = list->next;
        delete list;
        list = next;
    }
}

LuaReference::LuaReference(HostState& host, lua_State* state)
    : m_host(host.shared_from_this()), m_releases(host.GetReleaseQueue()) {
    try {
        m_node = std::make_unique<ReleaseQueue::Node>();
    } catch (...) {
        lua_pop(state, 1);
        throw;
    }
    int reference = LUA_NOREF;
    RunLuaStep(state, 1, 0, [&reference](lua_State* L) {
        reference = luaL_ref(L, LUA_REGISTRYINDEX);
        return 0;
    });
    m_node->reference = reference;
}

LuaReference::~LuaReference() {
    if (m_node->reference != LUA_NOREF) {
        m_releases->Push(std::move(m_node));
    }
}

bool LuaReference::Push(lua_State* state) const {
    const boost::shared_ptr<HostState> host = LockHost();
    if (!host || &HostState::From(state) != host.get() || !host->IsOwnThread()) {
        return false;  // the state is gone, the value belongs to another state or thread
    }
    lua_rawgeti(state, LUA_REGISTRYINDEX, m_node->reference);
    return true;
}

boost::shared_ptr<HostState> LuaReference::LockHost() const {
    boost::shared_ptr<HostState> host = m_host.lock();
    return host && host->IsOpen() ? host : boost::shared_ptr<HostState>();
}

}  // namespace Lua
}  // namespace VelmorandScript
