#pragma once

// What the conversion registry's lookups found, by the addresses of the type_info objects they
// were asked for: a repeated lookup then costs one hash probe, whatever the number of
// registered conversions or wrappers, instead of a tree search comparing type names.
//
// Lookups run on several threads at once and fill the cache as they go, so a lookup takes no
// lock: items and tables are immutable once published through atomic pointers, and are freed
// only with the cache, so a reader never meets a half-made item or a freed one. Stores take a
// mutex among themselves. Past kMaxItems, nothing more is remembered: a program that makes up
// types without end does not grow the cache without end.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace VelmorandScript {
namespace Detail {

/// Maps a pair of addresses (the second may be null) to a non-null pointer `Found`; pointers
/// stored must stay valid for the life of the cache.
template <class Found>
class AddressCache {
public:
    AddressCache() = default;
    AddressCache(const AddressCache&) = delete;
    AddressCache& operator=(const AddressCache&) = delete;

    /// What was remembered for the pair, or null.
    Found Find(const void* first, const void* second) const noexcept {
        const Table* const table = m_table.load(std::memory_order_acquire);
        if (!table) {
            return nullptr;
        }
        for (std::size_t index = SlotOf(first, second, table->shift);;
             index = (index + 1) & table->mask) {
            const Item* const item = table->slots[index].load(std::memory_order_acquire);
            if (!item) {
                return nullptr;
            }
            if (item->first == first && item->second == second) {
                return item->found;
            }
        }
    }

    /// Remembers `found` for the pair, unless the pair is known already or the cache is full.
    /// Throws std::bad_alloc, remembering nothing.
    void Remember(const void* first, const void* second, Found found) {
        const std::lock_guard<std::mutex> storing(m_storing);
        if (m_items.size() >= kMaxItems || Find(first, second)) {
            return;
        }
        Table* table = m_tables.empty() ? nullptr : m_tables.back().get();
        if (!table || (table->used + 1) * 2 > table->mask + 1) {
            table = Replace(table ? (table->mask + 1) * 2 : 16);
        }
        m_items.reserve(m_items.size() + 1);
        m_items.push_back(std::make_unique<const Item>(Item{first, second, found}));
        Insert(*table, m_items.back().get(), std::memory_order_release);
    }

    static constexpr std::size_t kMaxItems = 16384;

private:
    struct Item {
        const void* first;
        const void* second;
        Found found;
    };
    /// Open addressing with linear probing, at most half full; the size is a power of two.
    struct Table {
        explicit Table(std::size_t size)
            : mask(size - 1),
              shift(static_cast<unsigned>(__builtin_clzll(size)) + 1),
              slots(new std::atomic<const Item*>[size]) {
            for (std::size_t index = 0; index < size; ++index) {
                slots[index].store(nullptr, std::memory_order_relaxed);
            }
        }
        std::size_t mask;
        unsigned shift;
        std::unique_ptr<std::atomic<const Item*>[]> slots;
        /// Read and written by stores only.
        std::size_t used = 0;
    };

    /// The top bits of a multiplicative hash: type_info objects sit a few words apart, so
    /// their low bits alone would crowd a few slots.
    static std::size_t SlotOf(const void* first, const void* second, unsigned shift) noexcept {
        const std::uint64_t a = reinterpret_cast<std::uintptr_t>(first);
        const std::uint64_t b = reinterpret_cast<std::uintptr_t>(second);
        return static_cast<std::size_t>(
            ((a ^ (b * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull) >> shift);
    }

    /// Publishes a new table of `size` slots holding the current table's items.
    Table* Replace(std::size_t size) {
        m_tables.reserve(m_tables.size() + 1);
        auto made = std::make_unique<Table>(size);
        if (const Table* current = m_table.load(std::memory_order_relaxed)) {
            for (std::size_t index = 0; index <= current->mask; ++index) {
                if (const Item* item = current->slots[index].load(std::memory_order_relaxed)) {
                    Insert(*made, item, std::memory_order_relaxed);
                }
            }
        }
        // Readers of the table replaced may still be probing it: it stays until the cache goes.
        m_tables.push_back(std::move(made));
        m_table.store(m_tables.back().get(), std::memory_order_release);
        return m_tables.back().get();
    }

    static void Insert(Table& table, const Item* item, std::memory_order order) {
        std::size_t index = SlotOf(item->first, item->second, table.shift);
        while (table.slots[index].load(std::memory_order_relaxed)) {
            index = (index + 1) & table.mask;
        }
        table.slots[index].store(item, order);
        ++table.used;
    }

    std::atomic<const Table*> m_table{nullptr};
    std::mutex m_storing;
    /// Every table and item made, current or not: freed only with the cache.
    std::vector<std::unique_ptr<Table>> m_tables;
    std::vector<std::unique_ptr<const Item>> m_items;
};

}  // namespace Detail
}  // namespace VelmorandScript
