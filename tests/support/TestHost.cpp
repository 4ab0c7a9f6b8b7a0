#include "support/TestHost.h"

namespace VelmorandScript {
namespace Testing {

std::wstring ScriptErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const ScriptException& error) {
        return error.GetExceptionMessage();
    }
    return L"<no exception>";
}

void RegisterArrayClass() {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    if (!registry.FindClassByScriptName(L"VelmorandScript::Array")) {
        registry.AddClass(boost::make_shared<Class>(DataType(typeid(IArray)),
                                                    L"VelmorandScript::Array", nullptr,
                                                    L"VelmorandScript", false));
    }
}

Value TestScriptContext::GetScriptVariable(const std::wstring& name) {
    const auto found = m_variables.find(name);
    return found == m_variables.end() ? Value() : found->second;
}

bool TestScriptContext::InvokeScriptFunction(const Value& function,
                                             const std::vector<Value>& arguments, bool flag,
                                             std::vector<Value>& results) const {
    invokedFlags.push_back(flag);
    return function.GetType() == DataType(typeid(ScriptFunction)) &&
           Read<ScriptFunction>(function)(arguments, results);
}

}  // namespace Testing
}  // namespace VelmorandScript
