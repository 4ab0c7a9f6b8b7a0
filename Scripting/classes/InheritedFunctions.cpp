#include "classes/InheritedFunctions.h"

#include <mutex>

namespace VelmorandScript {

std::atomic<unsigned long> InheritedFunctions::s_generation{0};

InheritedFunctions::InheritedFunctions()
    : m_generation(s_generation.load(std::memory_order_relaxed)) {}

bool InheritedFunctions::Find(const std::wstring& name, long styleMask,
                              boost::shared_ptr<IFunction>& function) const {
    const std::shared_lock<std::shared_mutex> reading(m_lock);
    if (m_functions.empty() || !IsCurrent()) {
        return false;
    }
    const auto found = m_functions.find(Key{name, styleMask});
    if (found == m_functions.end()) {
        return false;
    }
    function = found->second;
    return true;
}

void InheritedFunctions::Remember(const std::wstring& name, long styleMask,
                                  const boost::shared_ptr<IFunction>& function) {
    const std::unique_lock<std::shared_mutex> writing(m_lock);
    if (!IsCurrent()) {
        m_functions.clear();
        m_names.clear();
        m_generation = s_generation.load(std::memory_order_relaxed);
    } else if (m_functions.find(Key{name, styleMask}) != m_functions.end()) {
        return;  // another thread remembered the same lookup first
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
