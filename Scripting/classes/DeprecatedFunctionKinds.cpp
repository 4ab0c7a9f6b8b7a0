#include <VelmorandScript/Classes.h>

#include "classes/DescriptorText.h"
#include "errors/Format.h"

namespace VelmorandScript {

namespace {

constexpr int kReplacedBehaviour = 4;
/// Warns (2); bit 0x10 is left to the script host.
constexpr int kRenamedBehaviour = 0x12;
constexpr int kRemovedBehaviour = 4;

}  // namespace

DeprecatedReplacedFunction::DeprecatedReplacedFunction(const wchar_t* name,
                                                       const wchar_t* owningClassName,
                                                       const wchar_t* introducingModuleName,
                                                       int style,
                                                       const wchar_t* delegateFunctionNames)
    : DeprecatedFunction(name, owningClassName, introducingModuleName, style, kReplacedBehaviour),
      m_delegateFunctionNames(delegateFunctionNames) {}

DeprecatedReplacedFunction::DeprecatedReplacedFunction(const DeprecatedReplacedFunction& other) =
    default;

DeprecatedReplacedFunction& DeprecatedReplacedFunction::operator=(
    const DeprecatedReplacedFunction& other) = default;

DeprecatedReplacedFunction::~DeprecatedReplacedFunction() = default;

const wchar_t* DeprecatedReplacedFunction::GetDeprecationType() const {
    return L"Replaced";
}

std::wstring DeprecatedReplacedFunction::GenerateMessage(const std::wstring& className) const {
    return DeprecatedFunction::GenerateMessage(className, Messages::DeprecatedReplaced,
                                               m_delegateFunctionNames);
}

DeprecatedRenamedFunction::DeprecatedRenamedFunction(const wchar_t* name,
                                                     const wchar_t* owningClassName,
                                                     const wchar_t* introducingModuleName,
                                                     int style, const wchar_t* newName)
    : DeprecatedFunction(name, owningClassName, introducingModuleName, style, kRenamedBehaviour),
      m_delegateFunctionNames(newName) {}

DeprecatedRenamedFunction::DeprecatedRenamedFunction(const DeprecatedRenamedFunction& other) =
    default;

DeprecatedRenamedFunction& DeprecatedRenamedFunction::operator=(
    const DeprecatedRenamedFunction& other) = default;

DeprecatedRenamedFunction::~DeprecatedRenamedFunction() = default;

const wchar_t* DeprecatedRenamedFunction::GetDeprecationType() const {
    return L"Renamed";
}

std::wstring DeprecatedRenamedFunction::GenerateMessage(const std::wstring& className) const {
    return DeprecatedFunction::GenerateMessage(className, Messages::DeprecatedRenamed,
                                               m_delegateFunctionNames);
}

void DeprecatedRenamedFunction::Check(const Class* owner, const FunctionTable* table) const {
    // The new name may live anywhere in the class's chain, so the class is asked, not the table.
    (void)table;
    bool found = false;
    if (m_delegateFunctionNames != nullptr && owner != nullptr) {
        // Lookup only resolves the base cache; registered classes are never const objects.
        found = static_cast<bool>(const_cast<Class*>(owner)->FindFunction(
            m_delegateFunctionNames, StyleMask, boost::shared_ptr<IObject>()));
    }
    if (!found) {
        const wchar_t* className = owner != nullptr ? owner->GetScriptName() : GetOwningClassName();
        // A fixed pattern outside the message table: a module's registration mistake.
        throw ScriptException(Detail::FormatPattern(
            L"Non-existing replacement function %1 for deprecated function %2 on class %3.",
            m_delegateFunctionNames != nullptr ? m_delegateFunctionNames : L"<Not specified!>",
            Detail::TextOrEmpty(GetName()), Detail::TextOrEmpty(className)));
    }
}

DeprecatedRemovedFunction::DeprecatedRemovedFunction(const wchar_t* name,
                                                     const wchar_t* owningClassName,
                                                     const wchar_t* introducingModuleName,
                                                     int style,
                                                     const wchar_t* delegateFunctionNames)
    : DeprecatedFunction(name, owningClassName, introducingModuleName, style, kRemovedBehaviour),
      m_delegateFunctionNames(delegateFunctionNames) {}

DeprecatedRemovedFunction::DeprecatedRemovedFunction(const DeprecatedRemovedFunction& other) =
    default;

DeprecatedRemovedFunction& DeprecatedRemovedFunction::operator=(
    const DeprecatedRemovedFunction& other) = default;

DeprecatedRemovedFunction::~DeprecatedRemovedFunction() = default;

const wchar_t* DeprecatedRemovedFunction::GetDeprecationType() const {
    return L"Removed";
}

std::wstring DeprecatedRemovedFunction::GenerateMessage(const std::wstring& className) const {
    return DeprecatedFunction::GenerateMessage(className, Messages::DeprecatedRemoved,
                                               m_delegateFunctionNames);
}

}  // namespace VelmorandScript
