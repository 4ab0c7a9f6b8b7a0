#include "support/TestHost.h"

#include <VelmorandScript/Classes.h>

namespace VelmorandScript {
namespace Testing {

Value MakeScriptFunction(ScriptFunction function) {
    return Value(&function);
}

Value Unchanged(const Value& value, boost::shared_ptr<IScriptContext>) {
    return value;
}

Value TestScriptContext::GetScriptVariable(const std::wstring& name) {
    const auto found = m_variables.find(name);
    return found == m_variables.end() ? Value() : found->second;
}

bool TestScriptContext::InvokeScriptFunction(const Value& function,
                                             const std::vector<Value>& arguments, bool flag,
                                             std::vector<Value>& results) const {
    m_invokedCalls.push_back(Call{function, arguments, flag});
    return function.GetType() == DataType(typeid(ScriptFunction)) &&
           (*CastTo<ScriptFunction>(&function, true))(arguments, results);
}

void RegisterArrayClass() {
    ClassRegistry& registry = ClassRegistry::GetInstance();
    if (!registry.FindClassByScriptName(L"VelmorandScript::Array")) {
        registry.AddClass(boost::make_shared<Class>(DataType(typeid(IArray)),
                                                    L"VelmorandScript::Array", nullptr,
                                                    L"VelmorandScript", false));
    }
}

}  // namespace Testing
}  // namespace VelmorandScript
