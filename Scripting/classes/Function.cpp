#include <VelmorandScript/Classes.h>

#include "classes/DescriptorText.h"
#include "errors/Format.h"

#include <algorithm>

namespace VelmorandScript {

IFunction::~IFunction() = default;

Function::Function(const wchar_t* name, const wchar_t* owningClassName,
                   const wchar_t* introducingModuleName, bool isConst, int style)
    : m_name(name),
      m_owningClassName(owningClassName),
      m_introducingModuleName(introducingModuleName),
      m_isConst(isConst),
      m_style(style),
      m_outputArgumentStyle(ArgumentsByPosition) {}

// A copy has no typed entry: the entry belongs to the descriptor that made it.
Function::Function(const Function& other)
    : IFunction(other),
      m_name(other.m_name),
      m_owningClassName(other.m_owningClassName),
      m_introducingModuleName(other.m_introducingModuleName),
      m_isConst(other.m_isConst),
      m_style(other.m_style),
      m_arguments(other.m_arguments),
      m_outputArgumentStyle(other.m_outputArgumentStyle) {}

Function& Function::operator=(const Function& other) {
    if (this != &other) {
        m_name = other.m_name;
        m_owningClassName = other.m_owningClassName;
        m_introducingModuleName = other.m_introducingModuleName;
        m_isConst = other.m_isConst;
        m_style = other.m_style;
        m_arguments = other.m_arguments;
        m_outputArgumentStyle = other.m_outputArgumentStyle;
        m_typedEntry = nullptr;
    }
    return *this;
}

Function::~Function() = default;

boost::shared_ptr<Class> Function::GetOwningClass() {
    // Looked up on every call: the function refers to its class by name only, so it neither
    // keeps the class alive nor misses a class registered after it.
    return ClassRegistry::GetInstance().FindClassByScriptName(
        Detail::TextOrEmpty(m_owningClassName));
}

const wchar_t* Function::GetDescription() const {
    return L"";
}

unsigned int Function::GetNumberOfArgumentsOfStyle(long mask) const {
    return static_cast<unsigned int>(std::count_if(
        m_arguments.begin(), m_arguments.end(),
        [mask](const Argument& argument) { return (argument.GetStyle() & mask) != 0; }));
}

void Function::AddArgument(const Argument& argument) {
    m_arguments.push_back(argument);
}

void Function::Check(const Class* owner, const FunctionTable* table) const {
    (void)owner;
    (void)table;
}

void Function::CheckNonNullObject(const void* object, const Value& objectValue,
                                  const DataType& expectedType) const {
    if (object == nullptr) {
        Detail::RaiseMessage(Messages::IncompatibleObject, Detail::TextOrEmpty(m_name),
                             objectValue.GetTypeName(), expectedType.GetName());
    }
}

}  // namespace VelmorandScript
