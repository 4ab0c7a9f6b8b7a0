#pragma once

// The functions of one class by (name, style), with the lookup by ascending style bit. Internal:
// a Class owns its table and is the only user.

#include "classes/NameHash.h"

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorandScript {

class FunctionTable {
public:
    /// `className` is the owning class's script name, kept for the trace log only.
    explicit FunctionTable(const wchar_t* className);
    FunctionTable(const FunctionTable&) = delete;
    FunctionTable& operator=(const FunctionTable&) = delete;
    virtual ~FunctionTable();

    /// Enters the function under (its name, its style); the function of an equivalent entry is
    /// replaced and that entry keeps its key.
    void AddFunction(boost::shared_ptr<IFunction> function);
    /// The function of the name whose style holds the lowest requested bit that matches, or
    /// null. Bits from 0x800 up are never tried. `nameHash` is HashName(name): the caller hashes
    /// once for this table and the class's remembered lookups. The pointer refers into the
    /// table, so the lookup itself touches no reference count.
    const boost::shared_ptr<IFunction>* FindFunction(std::wstring_view name, std::size_t nameHash,
                                                     long styleMask) const;
    /// Runs every function's Check, in key order; the first exception ends the pass.
    virtual void Check(const Class* owner) const;

    const FunctionMap& GetFunctions() const { return m_functions; }

private:
    /// One entry of a name, as the map orders them: its key's style and its function, which
    /// lives in the map's node and so stays put when a later registration replaces it.
    struct Entry {
        long style;
        const boost::shared_ptr<IFunction>* function;
    };
    /// The entries of one name in key order; the name refers to the map's own key, which never
    /// moves, and entries are never removed.
    struct NameSlot {
        std::size_t hash = 0;
        /// Empty data for a free slot.
        std::wstring_view name;
        std::vector<Entry> entries;
    };

    /// The entry's function, with the trace-log line of the match when logging is on.
    const boost::shared_ptr<IFunction>* Matched(const Entry& entry) const;
    /// Writes the trace-log line of a match; out of line, since logging is rarely on.
    void LogMatch(const IFunction& function) const;
    /// The slot of the name, or the free slot where it belongs; the index must not be empty.
    const NameSlot& Probe(std::size_t hash, std::wstring_view name) const;
    /// Rebuilds the index entries of the name of the map entry `added`.
    void IndexName(FunctionMap::const_iterator added);
    /// Doubles the index (16 slots at first), keeping its slots.
    void GrowIndex();

    FunctionMap m_functions;
    /// Each name's entries, found with one hash probe and names compared in line, so lookups
    /// cost the same with ten functions or a thousand. Open addressing with linear probing, at
    /// most half full; the size is a power of two.
    std::vector<NameSlot> m_byName;
    /// The size of m_byName less one, and FirstSlot's shift for it: kept, so that a lookup need
    /// not divide by the size of a slot.
    std::size_t m_mask = 0;
    unsigned m_shift = 64;
    std::size_t m_names = 0;
    const wchar_t* m_className;
};

}  // namespace VelmorandScript
