#include "classes/FunctionTable.h"

#include "classes/DescriptorText.h"
#include "classes/InheritedFunctions.h"
#include "classes/LookupLogging.h"
#include "errors/Format.h"

#include <utility>

namespace VelmorandScript {

namespace {

/// The style bits a lookup tries, 0x1 to 0x400; bit 0x800 is a flag, not a style.
constexpr unsigned long kTriedStyles = StyleMask;

}  // namespace

FunctionTable::FunctionTable(const wchar_t* className) : m_className(className) {}

FunctionTable::~FunctionTable() = default;

void FunctionTable::AddFunction(boost::shared_ptr<IFunction> function) {
    // Before anything changes: a lookup remembered before may no longer be right even when
    // this addition fails half-way.
    InheritedFunctions::ForgetAll();
    FunctionKey key(Detail::TextOrEmpty(function->GetName()), function->GetStyle());
    const auto position = m_functions.lower_bound(key);
    if (position != m_functions.end() && !m_functions.key_comp()(key, position->first)) {
        // Equivalent key: a later registration wins, but the entry keeps its original key. The
        // index refers to the map's function, so it sees the replacement.
        position->second = std::move(function);
        return;
    }
    const FunctionMap::iterator added =
        m_functions.emplace_hint(position, std::move(key), std::move(function));
    try {
        IndexName(added);
    } catch (...) {
        m_functions.erase(added);
        throw;
    }
}

void FunctionTable::IndexName(FunctionMap::const_iterator added) {
    const std::wstring& name = added->first.first;
    // Style 0 shares no bit with any style and orders before them all: the name's first entry.
    FunctionMap::const_iterator entry =
        m_functions.lower_bound(FunctionKeyView{name.data(), name.size(), 0});
    std::vector<Entry> entries;
    for (; entry != m_functions.end() && entry->first.first == name; ++entry) {
        entries.push_back(Entry{entry->first.second, &entry->second});
    }
    if ((m_names + 1) * 2 > m_byName.size()) {
        GrowIndex();
    }
    const std::size_t hash = HashName(name);
    NameSlot& slot = const_cast<NameSlot&>(Probe(hash, name));
    if (!slot.name.data()) {
        slot.hash = hash;
        slot.name = name;  // the first entry's key: it stays while later entries come and go
        ++m_names;
    }
    slot.entries.swap(entries);
}

void FunctionTable::GrowIndex() {
    std::vector<NameSlot> grown(m_byName.empty() ? 16 : m_byName.size() * 2);
    const std::size_t mask = grown.size() - 1;
    for (NameSlot& slot : m_byName) {
        if (!slot.name.data()) {
            continue;
        }
        std::size_t index = FirstSlot(slot.hash, SlotShift(grown.size()));
        while (grown[index].name.data()) {
            index = (index + 1) & mask;
        }
        grown[index] = std::move(slot);
    }
    m_byName.swap(grown);
    m_mask = mask;
    m_shift = SlotShift(m_byName.size());
}

// In line in the lookup, where a call would cost a fifth of it.
[[gnu::always_inline]] inline const FunctionTable::NameSlot& FunctionTable::Probe(
    std::size_t hash, std::wstring_view name) const {
    for (std::size_t index = FirstSlot(hash, m_shift);; index = (index + 1) & m_mask) {
        const NameSlot& slot = m_byName[index];
        if (!slot.name.data() || (slot.hash == hash && SameName(slot.name, name))) {
            return slot;
        }
    }
}

const boost::shared_ptr<IFunction>* FunctionTable::FindFunction(std::wstring_view name,
                                                                std::size_t nameHash,
                                                                long styleMask) const {
    if (m_byName.empty()) {
        return nullptr;
    }
    const NameSlot& slot = Probe(nameHash, name);
    const Entry* const begin = slot.entries.data();
    const Entry* const end = begin + slot.entries.size();
    if (end - begin == 1) {
        // Every requested bit meets the one entry, which matches when it holds any of them.
        return (begin->style & styleMask & kTriedStyles) != 0 ? Matched(*begin) : nullptr;
    }
    // For each requested bit from the lowest up, the search for an equivalent key stops at the
    // name's first entry that is not before the bit's key: the match when it holds the bit.
    // Bits from 0x800 up are never tried.
    for (unsigned long bits = static_cast<unsigned long>(styleMask) & kTriedStyles; bits != 0;
         bits &= bits - 1) {
        const long bit = static_cast<long>(bits & (~bits + 1));
        for (const Entry* entry = begin; entry != end; ++entry) {
            if ((entry->style & bit) != 0) {
                return Matched(*entry);
            }
            if (entry->style >= bit) {
                break;
            }
        }
    }
    return nullptr;
}

const boost::shared_ptr<IFunction>* FunctionTable::Matched(const Entry& entry) const {
    if (IsLookupLoggingEnabled()) {
        LogMatch(**entry.function);
    }
    return entry.function;
}

void FunctionTable::LogMatch(const IFunction& function) const {
    Detail::WriteLogLine(L"Matched %1 function %2::%3", GetFunctionStyleName(function.GetStyle()),
                         Detail::TextOrEmpty(m_className), Detail::TextOrEmpty(function.GetName()));
}

void FunctionTable::Check(const Class* owner) const {
    for (const auto& entry : m_functions) {
        entry.second->Check(owner, this);
    }
}

}  // namespace VelmorandScript
