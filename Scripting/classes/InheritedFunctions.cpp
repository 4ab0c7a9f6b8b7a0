#include "classes/InheritedFunctions.h"

#include <utility>

namespace VelmorandScript {

std::atomic<unsigned long> InheritedFunctions::s_generation{0};

InheritedFunctions::Table::Table(std::size_t size, unsigned long generation)
    : mask(size - 1),
      shift(SlotShift(size)),
      generation(generation),
      slots(new std::atomic<const Entry*>[size]) {
    for (std::size_t index = 0; index < size; ++index) {
        slots[index].store(nullptr, std::memory_order_relaxed);
    }
}

InheritedFunctions::~InheritedFunctions() = default;

void InheritedFunctions::Remember(const std::wstring& name, std::size_t nameHash, long styleMask,
                                  const boost::shared_ptr<IFunction>& function) {
    const std::lock_guard<std::mutex> storing(m_storing);
    Table* const table = WritableTable();
    if (!table || (!function && m_misses == kMaxMisses)) {
        return;
    }
    boost::shared_ptr<IFunction> found;
    if (Find(name, nameHash, styleMask, found)) {
        return;  // another thread remembered the same lookup first
    }
    m_entries.reserve(m_entries.size() + 1);
    m_entries.push_back(std::make_unique<const Entry>(
        Entry{KeyHash(nameHash, styleMask), styleMask, name, function}));
    Insert(*table, m_entries.back().get(), std::memory_order_release);
    m_misses += function ? 0 : 1;
}

InheritedFunctions::Table* InheritedFunctions::WritableTable() {
    if (m_entries.size() >= kMaxEntries) {
        return nullptr;
    }
    const unsigned long generation = s_generation.load(std::memory_order_relaxed);
    // The table published last, which only stores change, under m_storing.
    Table* const table = m_tables.empty() ? nullptr : m_tables.back().get();
    if (!table || table->generation != generation) {
        m_misses = 0;
        return Replace(16, generation);
    }
    if ((table->used + 1) * 2 > table->mask + 1) {
        return Replace((table->mask + 1) * 2, generation);
    }
    return table;
}

InheritedFunctions::Table* InheritedFunctions::Replace(std::size_t size, unsigned long generation) {
    m_tables.reserve(m_tables.size() + 1);
    auto made = std::make_unique<Table>(size, generation);
    const Table* const current = m_table.load(std::memory_order_relaxed);
    if (current && current->generation == generation) {
        for (std::size_t index = 0; index <= current->mask; ++index) {
            if (const Entry* entry = current->slots[index].load(std::memory_order_relaxed)) {
                Insert(*made, entry, std::memory_order_relaxed);
            }
        }
    }
    // Readers of the table replaced may still be probing it: it stays until this object goes.
    m_tables.push_back(std::move(made));
    m_table.store(m_tables.back().get(), std::memory_order_release);
    return m_tables.back().get();
}

void InheritedFunctions::Insert(Table& table, const Entry* entry, std::memory_order order) {
    std::size_t index = FirstSlot(entry->hash, table.shift);
    while (table.slots[index].load(std::memory_order_relaxed)) {
        index = (index + 1) & table.mask;
    }
    table.slots[index].store(entry, order);
    ++table.used;
}

}  // namespace VelmorandScript
