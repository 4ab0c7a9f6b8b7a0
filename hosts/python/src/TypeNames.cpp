// The names Python code sees for the types of script values: in help texts, signatures and
// the stubs written from the module's description.

#include "PythonHost.h"

#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

namespace VelmorandScript {
namespace Python {

std::string PythonTypeName(const wchar_t* scriptType, bool isResult) {
    switch (Hosting::KindOfScriptType(scriptType)) {
        case Hosting::ScriptTypeKind::Number:
            return "float";
        case Hosting::ScriptTypeKind::Integer:
            return "int";
        case Hosting::ScriptTypeKind::Boolean:
            return "bool";
        case Hosting::ScriptTypeKind::Text:
            return "str";
        case Hosting::ScriptTypeKind::Function:
            return "Callable[..., Any]";
        case Hosting::ScriptTypeKind::Hash:
            return "dict";
        case Hosting::ScriptTypeKind::Array:
            // Calls take any sequence; what they give back is a list.
            return isResult ? "list" : "Sequence[Any]";
        case Hosting::ScriptTypeKind::Object:
            if (const boost::shared_ptr<Class> scriptClass = Hosting::FirstVisibleClass(
                    ClassRegistry::GetInstance().FindClassByScriptName(scriptType))) {
                const std::wstring scriptName = TextOrEmpty(scriptClass->GetScriptName());
                const std::size_t separator = scriptName.rfind(L"::");
                return Common::ToUtf8(separator == std::wstring::npos
                                          ? scriptName
                                          : scriptName.substr(separator + 2));
            }
            return "Any";
        case Hosting::ScriptTypeKind::Any:
            break;
    }
    return "Any";
}

std::string PythonTypeName(const Argument& argument) {
    const long style = argument.GetStyle();
    const bool isResult = (style & (ReturnArgument | OutputArgument)) != 0;
    return PythonTypeName(argument.GetScriptType(), isResult);
}

std::string DeprecationNote(const IFunction& function) {
    const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(&function);
    if ((function.GetStyle() & DeprecatedStyle) == 0 || deprecated == nullptr) {
        return std::string();
    }
    const std::string kind = Common::ToUtf8(TextOrEmpty(deprecated->GetDeprecationType()));
    const std::string replacement =
        Common::ToUtf8(TextOrEmpty(deprecated->GetDelegateFunctionNames()));
    return "Deprecated" + (kind.empty() ? std::string() : " (" + kind + ")") +
           (replacement.empty() ? std::string(".") : ": use " + replacement + " instead.");
}

}  // namespace Python
}  // namespace VelmorandScript
