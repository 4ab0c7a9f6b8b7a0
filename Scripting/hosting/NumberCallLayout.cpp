#include <VelmorandScript/Hosting.h>

#include <typeinfo>

namespace VelmorandScript {
namespace Hosting {

NumberCallLayout::NumberCallLayout(const IFunction& function)
    : m_applies((function.GetStyle() & DeprecatedStyle) == 0),
      m_doublesPassPlain(!IsScripLoggingEnabled() && IsWrappedUnchanged(DataType(typeid(double)))),
      m_inputCount(0),
      m_resultSlot(std::string::npos) {
    const std::vector<Argument>& arguments = function.GetArguments();
    for (std::size_t slot = 0; slot < arguments.size() && m_applies; ++slot) {
        const Argument& argument = arguments[slot];
        const std::type_info& type = argument.GetType().GetTypeInfo();
        const long style = argument.GetStyle();
        if (IsContextArgument(argument) || IsScriptOutput(style)) {
            m_applies = false;
        } else if (IsScriptInputStyle(style)) {
            m_applies = &type == &typeid(double) || &type == &typeid(long);
            m_roles.push_back(&type == &typeid(double) ? Role::Double : Role::Long);
            ++m_inputCount;
        } else {
            m_roles.push_back(Role::Empty);
            if (IsScriptResult(argument)) {
                m_applies = m_resultSlot == std::string::npos;
                m_resultSlot = slot;
            }
        }
    }
}

}  // namespace Hosting
}  // namespace VelmorandScript
