#pragma once

// The functions of one class by (name, style), with the lookup by ascending style bit. Internal:
// a Class owns its table and is the only user.

#include "classes/NameHash.h"

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>
#include <boost/unordered_map.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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
    /// The function of the name whose style holds the lowest requested bit that matches, or an
    /// empty pointer. Bits from 0x800 up are never tried.
    boost::shared_ptr<IFunction> FindFunction(const std::wstring& name, long styleMask) const;
    /// Runs every function's Check, in key order; the first exception ends the pass.
    virtual void Check(const Class* owner) const;

    const FunctionMap& GetFunctions() const { return m_functions; }

private:
    struct NameHash {
        std::size_t operator()(std::wstring_view name) const noexcept { return HashName(name); }
    };

    /// Writes the trace-log line of a match and hands the function back.
    const boost::shared_ptr<IFunction>& Matched(const boost::shared_ptr<IFunction>& function) const;

    /// The first entry (in key order) of each name; lookups start there without searching the
    /// map, so they cost the same with ten functions or a thousand. The keys refer to the names
    /// in the map's own keys, which never move, and entries are never removed. Boost's map picks
    /// its bucket with a mask rather than the standard one's division, which dominated lookups.
    typedef boost::unordered_map<std::wstring_view, FunctionMap::const_iterator, NameHash>
        FirstEntries;

    FunctionMap m_functions;
    FirstEntries m_firstByName;
    const wchar_t* m_className;
};

}  // namespace VelmorandScript
