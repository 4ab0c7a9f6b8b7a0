#pragma once

// What a class's lookups found, by (name, style mask), once its own table had no match: the
// function its base chain found, or nothing (a remembered miss). A repeated lookup then costs
// one probe instead of one for each class of the chain. Valid while no function is added to any
// table and no class is assigned over (ForgetAll counts both); the first lookup after that
// starts afresh. Internal: Class is the only user.
//
// Lookups may run on several threads at once once registration is finished, and a remembered
// lookup takes no lock: entries and tables are immutable once published through atomic
// pointers, and are freed only with this object, so a reader never meets a half-made entry or a
// freed one. Stores take a mutex among themselves. Replaced tables and forgotten entries are
// kept until then; past kMaxEntries made, nothing more is remembered, so a program that keeps
// registering between lookups does not grow the cache without end.

#include "classes/NameHash.h"

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorandScript {

class InheritedFunctions {
public:
    InheritedFunctions() = default;
    InheritedFunctions(const InheritedFunctions&) = delete;
    InheritedFunctions& operator=(const InheritedFunctions&) = delete;
    ~InheritedFunctions();

    /// Every remembered lookup of every class may be wrong from now on.
    static void ForgetAll() noexcept { s_generation.fetch_add(1, std::memory_order_relaxed); }

    /// True when the lookup is remembered: `function` then holds its answer, empty for a
    /// remembered miss. `nameHash` is HashName(name), here and in Remember. In line: a call
    /// would cost a fifth of the lookup.
    bool Find(std::wstring_view name, std::size_t nameHash, long styleMask,
              boost::shared_ptr<IFunction>& function) const {
        const Table* const table = m_table.load(std::memory_order_acquire);
        if (!table || table->generation != s_generation.load(std::memory_order_relaxed)) {
            return false;
        }
        const std::size_t hash = KeyHash(nameHash, styleMask);
        for (std::size_t index = FirstSlot(hash, table->shift);;
             index = (index + 1) & table->mask) {
            const Entry* const entry = table->slots[index].load(std::memory_order_acquire);
            if (!entry) {
                return false;
            }
            if (entry->hash == hash && entry->styleMask == styleMask &&
                SameName(entry->name, name)) {
                function = entry->function;
                return true;
            }
        }
    }
    /// Remembers what a lookup found in the base chain; an empty `function` is a miss. At most
    /// kMaxMisses misses are kept at a time, since scripts make up names.
    void Remember(const std::wstring& name, std::size_t nameHash, long styleMask,
                  const boost::shared_ptr<IFunction>& function);

    static constexpr std::size_t kMaxMisses = 1024;
    static constexpr std::size_t kMaxEntries = 8192;

private:
    struct Entry {
        std::size_t hash;
        long styleMask;
        std::wstring name;
        boost::shared_ptr<IFunction> function;
    };
    /// Open addressing with linear probing, at most half full; the size is a power of two.
    struct Table {
        Table(std::size_t size, unsigned long generation);
        std::size_t mask;
        unsigned shift;
        unsigned long generation;
        std::unique_ptr<std::atomic<const Entry*>[]> slots;
        /// Read and written by stores only.
        std::size_t used = 0;
    };

    /// The name's hash mixed with the mask; FirstSlot takes the top bits of its product.
    static std::size_t KeyHash(std::size_t nameHash, long styleMask) {
        return nameHash ^ (static_cast<std::size_t>(styleMask) * 0x9E3779B97F4A7C15ull);
    }
    /// The current table, made afresh (and published) when there is none or it is stale, and
    /// doubled when one more entry would fill more than half of it; null when the limit of
    /// tables and entries made is reached.
    Table* WritableTable();
    /// Publishes a new table of `size` slots holding the current table's entries, if current.
    Table* Replace(std::size_t size, unsigned long generation);
    /// Stores `entry` in a free slot; the key must be absent.
    static void Insert(Table& table, const Entry* entry, std::memory_order order);

    /// Changes only while registering, which happens before lookups run on other threads.
    static std::atomic<unsigned long> s_generation;

    std::atomic<const Table*> m_table{nullptr};
    std::mutex m_storing;
    /// Every table and entry made, current or not: freed only with this object.
    std::vector<std::unique_ptr<Table>> m_tables;
    std::vector<std::unique_ptr<const Entry>> m_entries;
    std::size_t m_misses = 0;
};

}  // namespace VelmorandScript
