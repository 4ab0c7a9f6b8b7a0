#include "classes/InheritedFunctions.h"

#include <utility>

namespace VelmorandScript {

namespace {

/// How often a writer tries the lock before it gives up remembering.
constexpr int kWriteAttempts = 16;

}  // namespace

std::atomic<unsigned long> InheritedFunctions::s_generation{0};

InheritedFunctions::InheritedFunctions()
    : m_generation(s_generation.load(std::memory_order_relaxed)) {}

void InheritedFunctions::Remember(const std::wstring& name, std::size_t nameHash, long styleMask,
                                  const boost::shared_ptr<IFunction>& function) {
    int attempt = 0;
    while (!m_lock.TryLock()) {
        if (++attempt == kWriteAttempts) {
            return;  // readers keep it busy; a later lookup remembers instead
        }
    }
    try {
        Store(KeyHash(nameHash, styleMask), name, styleMask, function);
    } catch (...) {
        m_lock.Unlock();
        throw;
    }
    m_lock.Unlock();
}

void InheritedFunctions::Store(std::size_t hash, const std::wstring& name, long styleMask,
                               const boost::shared_ptr<IFunction>& function) {
    if (!IsCurrent()) {
        m_slots.clear();
        m_names.clear();
        m_mask = 0;
        m_shift = 64;
        m_misses = 0;
        m_generation = s_generation.load(std::memory_order_relaxed);
    }
    if (!function && m_misses == kMaxMisses) {
        return;
    }
    if ((m_names.size() + 1) * 2 > m_slots.size()) {
        Grow();
    }
    Slot& slot = const_cast<Slot&>(Probe(hash, name, styleMask));
    if (slot.name) {
        return;  // another thread remembered the same lookup first
    }
    m_names.push_back(name);
    slot.hash = hash;
    slot.styleMask = styleMask;
    slot.function = function;
    slot.name = &m_names.back();
    m_misses += function ? 0 : 1;
}

void InheritedFunctions::Grow() {
    std::vector<Slot> grown(m_slots.empty() ? 16 : m_slots.size() * 2);
    const std::size_t mask = grown.size() - 1;
    for (Slot& slot : m_slots) {
        if (!slot.name) {
            continue;
        }
        std::size_t index = FirstSlot(slot.hash, SlotShift(grown.size()));
        while (grown[index].name) {
            index = (index + 1) & mask;
        }
        grown[index] = std::move(slot);
    }
    m_slots.swap(grown);
    m_mask = mask;
    m_shift = SlotShift(m_slots.size());
}

}  // namespace VelmorandScript
