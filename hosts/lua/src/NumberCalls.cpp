#include "NumberCalls.h"

#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

NumberCallPlan::NumberCallPlan(const IFunction& function)
    : m_applies((function.GetStyle() & DeprecatedStyle) == 0),
      m_doublesPassPlain(!IsScripLoggingEnabled() &&
                         Hosting::IsWrappedUnchanged(DataType(typeid(double)))),
      m_inputCount(0),
      m_resultSlot(std::string::npos),
      m_typed(Hosting::TypedCallPlan::For(function)) {
    const std::vector<Argument>& arguments = function.GetArguments();
    for (std::size_t slot = 0; slot < arguments.size() && m_applies; ++slot) {
        const Argument& argument = arguments[slot];
        const std::type_info& type = argument.GetType().GetTypeInfo();
        const long style = argument.GetStyle();
        if (Hosting::IsContextArgument(argument) || Hosting::IsScriptOutput(style)) {
            m_applies = false;
        } else if (Hosting::IsScriptInputStyle(style)) {
            m_applies = &type == &typeid(double) || &type == &typeid(long);
            m_roles.push_back(&type == &typeid(double) ? Role::Double : Role::Long);
            ++m_inputCount;
        } else {
            m_roles.push_back(Role::Empty);
            if (Hosting::IsScriptResult(argument)) {
                m_applies = m_resultSlot == std::string::npos;
                m_resultSlot = slot;
            }
        }
    }
}

}  // namespace Lua
}  // namespace VelmorandScript
