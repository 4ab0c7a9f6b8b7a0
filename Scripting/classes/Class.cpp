#include <VelmorandScript/Classes.h>

#include "classes/DescriptorText.h"
#include "classes/FunctionTable.h"
#include "classes/InheritedFunctions.h"
#include "classes/LookupLogging.h"
#include "classes/NameHash.h"
#include "errors/Format.h"

#include <boost/make_shared.hpp>

#include <memory>
#include <new>
#include <typeinfo>
#include <utility>

namespace VelmorandScript {

Class::Class(const DataType& type, const wchar_t* scriptName, const wchar_t* baseScriptName,
             const wchar_t* introducingModuleName, bool hidden)
    : m_type(type),
      m_scriptName(scriptName),
      m_baseScriptName(baseScriptName),
      m_introducingModuleName(introducingModuleName),
      m_hidden(hidden),
      m_functions(boost::make_shared<FunctionTable>(scriptName)),
      m_inherited(nullptr) {}

// The base copy leaves the self reference empty; the function table and the resolved base are
// shared with the source.
Class::Class(const Class& other)
    : boost::enable_shared_from_this<Class>(other),
      m_type(other.m_type),
      m_scriptName(other.m_scriptName),
      m_baseScriptName(other.m_baseScriptName),
      m_introducingModuleName(other.m_introducingModuleName),
      m_scriptBase(other.m_scriptBase),
      m_hidden(other.m_hidden),
      m_functions(other.m_functions),
      m_inherited(nullptr) {}

Class& Class::operator=(const Class& other) {
    // enable_shared_from_this's assignment keeps this object's own self reference.
    boost::enable_shared_from_this<Class>::operator=(other);
    m_type = other.m_type;
    m_scriptName = other.m_scriptName;
    m_baseScriptName = other.m_baseScriptName;
    m_introducingModuleName = other.m_introducingModuleName;
    m_scriptBase = other.m_scriptBase;
    m_hidden = other.m_hidden;
    m_functions = other.m_functions;
    // Derived classes may have remembered what this class's old table answered.
    InheritedFunctions::ForgetAll();
    delete m_inherited.exchange(nullptr);
    return *this;
}

Class::~Class() {
    delete m_inherited.load();
}

const wchar_t* Class::GetDescription() const {
    return L"";
}

boost::shared_ptr<Class> Class::GetScriptBase() {
    if (m_scriptBase) {
        return m_scriptBase;
    }
    if (m_baseScriptName == nullptr || *m_baseScriptName == L'\0') {
        return boost::shared_ptr<Class>();
    }
    m_scriptBase = ClassRegistry::GetInstance().FindClassByScriptName(m_baseScriptName);
    if (!m_scriptBase) {
        // Nothing is cached, so the base is found once its module has registered it.
        Detail::RaiseMessage(Messages::BaseClassUndefined, m_baseScriptName,
                             Detail::TextOrEmpty(m_scriptName));
    }
    return m_scriptBase;
}

boost::shared_ptr<IFunction> Class::FindFunction(const std::wstring& name, long styleMask,
                                                 const boost::shared_ptr<IObject>& object) {
    // With logging on, every lookup runs in full, so that its match is logged.
    const bool logging = IsLookupLoggingEnabled();
    const std::size_t nameHash = HashName(name);
    const InheritedFunctions* const inherited = m_inherited.load(std::memory_order_acquire);
    // Built in the caller's place; every path fills it.
    boost::shared_ptr<IFunction> function;
    if (inherited && !logging && inherited->Find(name, nameHash, styleMask, function)) {
        return function;
    }
    if (const boost::shared_ptr<IFunction>* own =
            m_functions->FindFunction(name, nameHash, styleMask)) {
        function = *own;
    } else {
        FindInBases(name, nameHash, styleMask, object, logging, function);
    }
    return function;
}

void Class::FindInBases(const std::wstring& name, std::size_t nameHash, long styleMask,
                        const boost::shared_ptr<IObject>& object, bool logging,
                        boost::shared_ptr<IFunction>& function) {
    // A plain Class passes the search on to its resolved base without copying the pointer (two
    // atomic operations per class of the chain), and remembers what the base found, a miss as
    // well; a derived descriptor may override GetScriptBase, so it is asked.
    if (typeid(*this) == typeid(Class)) {
        if (m_scriptBase) {
            function = m_scriptBase->FindFunction(name, styleMask, object);
            if (!logging && HasPlainChain()) {
                RememberInherited(name, nameHash, styleMask, function);
            }
            return;
        }
        if (m_baseScriptName == nullptr || *m_baseScriptName == L'\0') {
            return;  // no base: GetScriptBase would say so
        }
    }
    const boost::shared_ptr<Class> base = GetScriptBase();
    if (base) {
        function = base->FindFunction(name, styleMask, object);
    }
}

bool Class::HasPlainChain() const {
    for (const Class* current = this; current != nullptr; current = current->m_scriptBase.get()) {
        if (typeid(*current) != typeid(Class)) {
            return false;
        }
    }
    return true;
}

void Class::RememberInherited(const std::wstring& name, std::size_t nameHash, long styleMask,
                              const boost::shared_ptr<IFunction>& function) {
    try {
        InheritedFunctions* inherited = m_inherited.load(std::memory_order_acquire);
        if (!inherited) {
            // Another thread may make one at the same time: the first one published is kept.
            auto made = std::make_unique<InheritedFunctions>();
            if (m_inherited.compare_exchange_strong(inherited, made.get(),
                                                    std::memory_order_acq_rel)) {
                inherited = made.release();
            }
        }
        inherited->Remember(name, nameHash, styleMask, function);
    } catch (const std::bad_alloc&) {
        // Remembering only saves later lookups; the function found is the answer either way.
    }
}

void Class::GetAllFunctions(FunctionMap& functions) const {
    // Resolving the base only fills a cache; classes are always owned as non-const objects
    // through shared pointers, so the cast is sound.
    const boost::shared_ptr<Class> base = const_cast<Class*>(this)->GetScriptBase();
    if (base) {
        base->GetAllFunctions(functions);
    }
    // insert keeps an entry already present under an equivalent key, so base descriptors and
    // the caller's own entries take precedence.
    for (const auto& entry : m_functions->GetFunctions()) {
        functions.insert(entry);
    }
}

void Class::AddFunction(boost::shared_ptr<IFunction> function) {
    m_functions->AddFunction(std::move(function));
}

void Class::Check() const {
    m_functions->Check(this);
}

}  // namespace VelmorandScript
