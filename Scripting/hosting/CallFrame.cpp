#include <VelmorandScript/Hosting.h>

namespace VelmorandScript {
namespace Hosting {

CallFrame::~CallFrame() = default;

int CallFrame::UsesArgumentNumbers() const {
    return 1;
}

std::wstring CallFrame::GetCalledClassName() const {
    return m_className;
}

std::wstring CallFrame::GetCalledFunctionName() const {
    return std::wstring(m_className) + L"::" + m_functionName;
}

std::wstring NameCallOfWarning(const IScriptContext& context, const std::wstring& text) {
    if (const boost::shared_ptr<IScriptCall> call = context.GetScriptCall()) {
        return L"calling " + call->GetCalledFunctionName() + L": " + text;
    }
    return text;
}

}  // namespace Hosting
}  // namespace VelmorandScript
