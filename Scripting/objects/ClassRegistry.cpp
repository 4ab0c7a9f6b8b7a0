#include <VelmorandScript/Classes.h>

#include "classes/DescriptorText.h"
#include "errors/Format.h"

#include <algorithm>
#include <vector>

namespace VelmorandScript {

namespace {

/// Follows the base names from `start` through the registry and throws when the chain comes back
/// to a class it has already passed. Runs before any base is resolved, because resolving and
/// searching a cyclic chain would never end. Unregistered bases end the walk; GetScriptBase
/// reports them.
void RejectBaseCycle(const ClassRegistry& registry, const boost::shared_ptr<Class>& start) {
    std::vector<const Class*> chain;
    boost::shared_ptr<Class> current = start;
    while (current) {
        const auto seen = std::find(chain.begin(), chain.end(), current.get());
        if (seen != chain.end()) {
            std::wstring names;
            for (auto it = seen; it != chain.end(); ++it) {
                names += Detail::TextOrEmpty((*it)->GetScriptName());
                names += L" -> ";
            }
            names += Detail::TextOrEmpty(current->GetScriptName());
            // The message table has no text for a cycle: its texts are kept as they are.
            throw ScriptException(Detail::FormatPattern(L"Cycle of base classes: %1.", names));
        }
        chain.push_back(current.get());
        const wchar_t* baseName = current->GetBaseScriptName();
        if (baseName == nullptr || *baseName == L'\0') {
            break;
        }
        current = registry.FindClassByScriptName(baseName);
    }
}

}  // namespace

ClassRegistry& ClassRegistry::GetInstance() {
    // Never deleted: registered classes must outlive every module and wrapper, up to process end.
    static ClassRegistry* const instance = new ClassRegistry();
    return *instance;
}

ClassRegistry::ClassRegistry() = default;

ClassRegistry::ClassRegistry(const ClassRegistry& other) = default;

ClassRegistry::~ClassRegistry() = default;

void ClassRegistry::AddClass(boost::shared_ptr<Class> scriptClass) {
    // emplace keeps an existing entry: the first registration under a key wins, per index.
    const auto byName =
        m_byName.emplace(Detail::TextOrEmpty(scriptClass->GetScriptName()), scriptClass);
    try {
        if (byName.second) {
            m_byNameHashed.emplace(byName.first->first, scriptClass);
        }
        m_byType.emplace(scriptClass->GetDataType(), scriptClass);
    } catch (...) {
        // A failed insertion takes back the name this call entered: the indexes stay as they
        // were. The hashed index holds the name only if its insertion succeeded.
        if (byName.second) {
            m_byNameHashed.erase(byName.first->first);
            m_byName.erase(byName.first);
        }
        throw;
    }
}

boost::shared_ptr<Class> ClassRegistry::FindClassByScriptName(
    const std::wstring& scriptName) const {
    const auto found = m_byNameHashed.find(scriptName);
    return found != m_byNameHashed.end() ? found->second : boost::shared_ptr<Class>();
}

boost::shared_ptr<Class> ClassRegistry::FindClassByCppType(const Value& value) const {
    auto found = m_byType.find(value.GetDerivedType());
    if (found == m_byType.end()) {
        found = m_byType.find(value.GetType());
    }
    return found != m_byType.end() ? found->second : boost::shared_ptr<Class>();
}

void ClassRegistry::CheckClasses() const {
    for (const auto& entry : m_byName) {
        RejectBaseCycle(*this, entry.second);
        entry.second->GetScriptBase();
        entry.second->Check();
    }
}

}  // namespace VelmorandScript
