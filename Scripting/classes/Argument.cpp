#include <VelmorandScript/Classes.h>

namespace VelmorandScript {

Argument::Argument()
    : m_type(typeid(Argument)),
      m_scriptType(nullptr),
      m_name(nullptr),
      m_style(0),
      m_scriptDefaultValue(nullptr) {}

Argument::Argument(const DataType& type, const wchar_t* scriptType, const wchar_t* name, long style,
                   Value defaultValue, const wchar_t* scriptDefaultValue)
    : m_type(type),
      m_scriptType(scriptType),
      m_name(name),
      m_style(static_cast<int>(style)),
      m_defaultValue(std::move(defaultValue)),
      m_scriptDefaultValue(scriptDefaultValue) {}

Argument::Argument(const Argument& other) = default;

Argument& Argument::operator=(const Argument& other) = default;

Argument::~Argument() = default;

void Argument::GetContainedValue(Value& value) const {
    (void)value;
}

const wchar_t* Argument::GetDescription() const {
    return L"";
}

BoostSharedPtrArgument::BoostSharedPtrArgument(const DataType& type, const wchar_t* scriptType,
                                               const wchar_t* name, long style, Value defaultValue,
                                               const wchar_t* scriptDefaultValue)
    : Argument(type, scriptType, name, style, std::move(defaultValue), scriptDefaultValue) {}

BoostSharedPtrArgument::BoostSharedPtrArgument(const BoostSharedPtrArgument& other) = default;

BoostSharedPtrArgument& BoostSharedPtrArgument::operator=(const BoostSharedPtrArgument& other) =
    default;

BoostSharedPtrArgument::~BoostSharedPtrArgument() = default;

}  // namespace VelmorandScript
