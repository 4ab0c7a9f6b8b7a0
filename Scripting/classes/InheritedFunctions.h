#pragma once

// What a class's lookups found, by (name, style mask), once its own table had no match: the
// function its base chain found, or nothing (a remembered miss). A repeated lookup then costs
// one probe instead of one for each class of the chain. Valid while no function is added to any
// table and no class is assigned over (ForgetAll counts both); the first lookup after that
// starts afresh. Lookups may run on several threads at once once registration is finished:
// readers share a ReadMostlyLock and a writer takes it alone; neither ever waits. Internal:
// Class is the only user.

#include "classes/NameHash.h"
#include "classes/ReadMostlyLock.h"

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorandScript {

class InheritedFunctions {
public:
    InheritedFunctions();

    /// Every remembered lookup of every class may be wrong from now on.
    static void ForgetAll() noexcept { s_generation.fetch_add(1, std::memory_order_relaxed); }

    /// True when the lookup is remembered: `function` then holds its answer, a copy (the entries
    /// may change once the lock is released), empty for a remembered miss. `nameHash` is
    /// HashName(name), here and in Remember.
    /// In line: a call would cost a fifth of the lookup.
    bool Find(std::wstring_view name, std::size_t nameHash, long styleMask,
              boost::shared_ptr<IFunction>& function) const {
        if (!m_lock.TryLockShared()) {
            return false;
        }
        bool found = false;
        if (!m_slots.empty() && IsCurrent()) {
            const Slot& slot = Probe(KeyHash(nameHash, styleMask), name, styleMask);
            if (slot.name) {
                function = slot.function;
                found = true;
            }
        }
        m_lock.UnlockShared();
        return found;
    }
    /// Remembers what a lookup found in the base chain; an empty `function` is a miss. Skipped
    /// when a reader holds the lock, or for a miss once kMaxMisses are remembered: names that
    /// scripts make up must not grow the cache without end.
    void Remember(const std::wstring& name, std::size_t nameHash, long styleMask,
                  const boost::shared_ptr<IFunction>& function);

    static constexpr std::size_t kMaxMisses = 1024;

private:
    struct Slot {
        std::size_t hash = 0;
        long styleMask = 0;
        /// Null for a free slot.
        const std::wstring* name = nullptr;
        boost::shared_ptr<IFunction> function;
    };

    /// The name's hash mixed with the mask; FirstSlot folds the high bits, where the mask lands.
    static std::size_t KeyHash(std::size_t nameHash, long styleMask) {
        return nameHash ^ (static_cast<std::size_t>(styleMask) * 0x9E3779B97F4A7C15ull);
    }
    /// True when nothing was forgotten since the entries were remembered.
    bool IsCurrent() const { return m_generation == s_generation.load(std::memory_order_relaxed); }
    /// The slot of the key, or the free slot where it belongs; the table must not be empty.
    const Slot& Probe(std::size_t hash, std::wstring_view name, long styleMask) const {
        for (std::size_t index = FirstSlot(hash, m_shift);; index = (index + 1) & m_mask) {
            const Slot& slot = m_slots[index];
            if (!slot.name ||
                (slot.hash == hash && slot.styleMask == styleMask && SameName(*slot.name, name))) {
                return slot;
            }
        }
    }
    void Store(std::size_t hash, const std::wstring& name, long styleMask,
               const boost::shared_ptr<IFunction>& function);
    /// Doubles the slots (16 at first), keeping the entries.
    void Grow();

    /// Changes only while registering, which happens before lookups run on other threads.
    static std::atomic<unsigned long> s_generation;

    ReadMostlyLock m_lock;
    /// The names the slots refer to; a deque, so that they stay put.
    std::deque<std::wstring> m_names;
    /// Open addressing with linear probing, at most half full; the size is a power of two.
    std::vector<Slot> m_slots;
    /// The size of m_slots less one, and FirstSlot's shift for it.
    std::size_t m_mask = 0;
    unsigned m_shift = 64;
    std::size_t m_misses = 0;
    unsigned long m_generation;
};

}  // namespace VelmorandScript
