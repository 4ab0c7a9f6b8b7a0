// The names Python code sees for the types of script values: in help texts, signatures and
// the stubs written from the module's description.

#include "PythonHost.h"

#include <Common/Text.h>

#include <map>

namespace VelmorandScript {
namespace Python {

std::string PythonTypeName(const wchar_t* scriptType, bool isResult) {
    static const std::map<std::wstring, std::string> fixed = {{L"double", "float"},
                                                              {L"float", "float"},
                                                              {L"long double", "float"},
                                                              {L"char", "int"},
                                                              {L"signed char", "int"},
                                                              {L"unsigned char", "int"},
                                                              {L"short", "int"},
                                                              {L"unsigned short", "int"},
                                                              {L"int", "int"},
                                                              {L"unsigned int", "int"},
                                                              {L"long", "int"},
                                                              {L"unsigned long", "int"},
                                                              {L"long long", "int"},
                                                              {L"unsigned long long", "int"},
                                                              {L"bool", "bool"},
                                                              {L"String", "str"},
                                                              {L"function", "Callable[..., Any]"},
                                                              {L"VelmorandScript::IHash", "dict"},
                                                              {L"table", "dict"}};
    if (scriptType == nullptr) {
        return "Any";
    }
    const std::wstring name = scriptType;
    if (name == L"VelmorandScript::Array") {
        // Calls take any sequence; what they give back is a list.
        return isResult ? "list" : "Sequence[Any]";
    }
    const auto found = fixed.find(name);
    if (found != fixed.end()) {
        return found->second;
    }
    // Scripts meet an object of a hidden class as its first visible base.
    boost::shared_ptr<Class> scriptClass = ClassRegistry::GetInstance().FindClassByScriptName(name);
    while (scriptClass && scriptClass->IsHidden()) {
        scriptClass = scriptClass->GetScriptBase();
    }
    if (!scriptClass) {
        return "Any";
    }
    const std::wstring scriptName = TextOrEmpty(scriptClass->GetScriptName());
    const std::size_t separator = scriptName.rfind(L"::");
    return Common::ToUtf8(separator == std::wstring::npos ? scriptName
                                                          : scriptName.substr(separator + 2));
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
