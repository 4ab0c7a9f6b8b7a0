#pragma once

// The functions of one class by (name, style), with the lookup by ascending style bit. Internal:
// a Class owns its table and is the only user.

#include <VelmorandScript/Classes.h>

#include <boost/shared_ptr.hpp>

#include <string>

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
    FunctionMap::const_iterator FindEquivalent(const FunctionKeyView& key) const;

    FunctionMap m_functions;
    const wchar_t* m_className;
};

}  // namespace VelmorandScript
