#include "classes/InheritedFunctions.h"

#include "classes/FunctionTable.h"

namespace VelmorandScript {

InheritedFunctions::InheritedFunctions() : m_additions(FunctionTable::GetAdditionCount()) {}

bool InheritedFunctions::IsCurrent() const {
    return m_additions == FunctionTable::GetAdditionCount();
}

const boost::shared_ptr<IFunction>* InheritedFunctions::Find(const std::wstring& name,
                                                             long styleMask) const {
    if (m_functions.empty() || !IsCurrent()) {
        return nullptr;
    }
    const auto found = m_functions.find(Key{name, styleMask});
    return found != m_functions.end() ? &found->second : nullptr;
}

void InheritedFunctions::Remember(const std::wstring& name, long styleMask,
                                  const boost::shared_ptr<IFunction>& function) {
    if (!IsCurrent()) {
        m_functions.clear();
        m_names.clear();
        m_additions = FunctionTable::GetAdditionCount();
    }
    m_names.push_back(name);
    try {
        m_functions.emplace(Key{m_names.back(), styleMask}, function);
    } catch (...) {
        m_names.pop_back();
        throw;
    }
}

}  // namespace VelmorandScript
