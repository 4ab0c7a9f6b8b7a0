#pragma once

// What a class found in its base chain, by (name, style mask): a repeated lookup of an
// inherited name then costs one hash lookup instead of one for each class of the chain. Valid
// while no function is added to any table and no class is assigned over (ForgetAll counts
// both); the first lookup after that starts afresh. Lookups may run on several threads at once
// once registration is finished, so the entries are guarded by a reader-writer lock: hits share
// it, only the remembering of a miss takes it alone. Internal: Class is the only user.

#include "classes/NameHash.h"

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>
#include <boost/unordered_map.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <shared_mutex>
#include <string>
#include <string_view>

namespace VelmorandScript {

class InheritedFunctions {
public:
    InheritedFunctions();

    /// Every remembered lookup of every class may be wrong from now on.
    static void ForgetAll() noexcept { s_generation.fetch_add(1, std::memory_order_relaxed); }

    /// Copies the function remembered for the lookup into `function`; false when there is none.
    /// A copy, because another thread may replace the entries as soon as the lock is released.
    bool Find(const std::wstring& name, long styleMask,
              boost::shared_ptr<IFunction>& function) const;
    /// Remembers what a lookup found in the base chain.
    void Remember(const std::wstring& name, long styleMask,
                  const boost::shared_ptr<IFunction>& function);

private:
    struct Key {
        std::wstring_view name;
        long styleMask;
        bool operator==(const Key& other) const {
            return styleMask == other.styleMask && name == other.name;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept {
            return HashName(key.name, kNameHashBasis ^ static_cast<std::uint64_t>(key.styleMask));
        }
    };

    /// True when nothing was forgotten since the entries were remembered.
    bool IsCurrent() const { return m_generation == s_generation.load(std::memory_order_relaxed); }

    /// Changes only while registering, which happens before lookups run on other threads.
    static std::atomic<unsigned long> s_generation;

    mutable std::shared_mutex m_lock;
    /// The names the keys refer to; a deque, so that they stay put.
    std::deque<std::wstring> m_names;
    boost::unordered_map<Key, boost::shared_ptr<IFunction>, KeyHash> m_functions;
    unsigned long m_generation;
};

}  // namespace VelmorandScript
