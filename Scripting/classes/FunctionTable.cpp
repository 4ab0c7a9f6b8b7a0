#include "classes/FunctionTable.h"

#include "classes/DescriptorText.h"
#include "classes/InheritedFunctions.h"
#include "errors/Format.h"

#include <iterator>
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
        // Equivalent key: a later registration wins, but the entry keeps its original key.
        position->second = std::move(function);
        return;
    }
    const FunctionMap::iterator added =
        m_functions.emplace_hint(position, std::move(key), std::move(function));
    try {
        // The new entry is its name's first when the entry before it has another name.
        const bool firstOfName =
            added == m_functions.begin() || std::prev(added)->first.first != added->first.first;
        if (firstOfName) {
            m_firstByName.insert_or_assign(std::wstring_view(added->first.first), added);
        }
    } catch (...) {
        m_functions.erase(added);
        throw;
    }
}

boost::shared_ptr<IFunction> FunctionTable::FindFunction(const std::wstring& name,
                                                         long styleMask) const {
    // From the name's first entry, the search for an equivalent key of each bit would stop at
    // the first entry of the name that is not before it, which is the match when it holds the
    // bit.
    const FirstEntries::const_iterator indexed = m_firstByName.find(name);
    if (indexed == m_firstByName.end()) {
        return boost::shared_ptr<IFunction>();
    }
    const FunctionMap::const_iterator first = indexed->second;
    // The requested bits from the lowest up; bit 0x800 and above are never tried.
    for (unsigned long bits = static_cast<unsigned long>(styleMask) & kTriedStyles; bits != 0;
         bits &= bits - 1) {
        const long bit = static_cast<long>(bits & (~bits + 1));
        for (auto entry = first;;) {
            const long style = entry->first.second;
            if ((style & bit) != 0) {
                return Matched(entry->second);
            }
            if (style >= bit) {
                break;  // the first entry not before the bit's key lacks the bit
            }
            if (++entry == m_functions.end() || entry->first.first != name) {
                break;
            }
        }
    }
    return boost::shared_ptr<IFunction>();
}

const boost::shared_ptr<IFunction>& FunctionTable::Matched(
    const boost::shared_ptr<IFunction>& function) const {
    if (IsScripLoggingEnabled()) {
        Detail::WriteLogLine(
            L"Matched %1 function %2::%3", GetFunctionStyleName(function->GetStyle()),
            Detail::TextOrEmpty(m_className), Detail::TextOrEmpty(function->GetName()));
    }
    return function;
}

void FunctionTable::Check(const Class* owner) const {
    for (const auto& entry : m_functions) {
        entry.second->Check(owner, this);
    }
}

}  // namespace VelmorandScript
