#include <VelmorandScript/Hosting.h>

#include <map>
#include <string>

namespace VelmorandScript {
namespace Hosting {

ScriptTypeKind KindOfScriptType(const wchar_t* scriptType) {
    static const std::map<std::wstring, ScriptTypeKind> fixed = {
        {L"double", ScriptTypeKind::Number},
        {L"float", ScriptTypeKind::Number},
        {L"long double", ScriptTypeKind::Number},
        {L"char", ScriptTypeKind::Integer},
        {L"signed char", ScriptTypeKind::Integer},
        {L"unsigned char", ScriptTypeKind::Integer},
        {L"short", ScriptTypeKind::Integer},
        {L"unsigned short", ScriptTypeKind::Integer},
        {L"int", ScriptTypeKind::Integer},
        {L"unsigned int", ScriptTypeKind::Integer},
        {L"long", ScriptTypeKind::Integer},
        {L"unsigned long", ScriptTypeKind::Integer},
        {L"long long", ScriptTypeKind::Integer},
        {L"unsigned long long", ScriptTypeKind::Integer},
        {L"bool", ScriptTypeKind::Boolean},
        {L"String", ScriptTypeKind::Text},
        {L"any", ScriptTypeKind::Any},
        {L"VelmorandScript::Value", ScriptTypeKind::Any},
        {L"function", ScriptTypeKind::Function},
        {L"table", ScriptTypeKind::Hash},
        {L"VelmorandScript::IHash", ScriptTypeKind::Hash},
        {L"VelmorandScript::Array", ScriptTypeKind::Array}};
    if (scriptType == nullptr) {
        return ScriptTypeKind::Any;
    }
    const auto found = fixed.find(scriptType);
    if (found != fixed.end()) {
        return found->second;
    }
    return ClassRegistry::GetInstance().FindClassByScriptName(scriptType) ? ScriptTypeKind::Object
                                                                          : ScriptTypeKind::Any;
}

boost::shared_ptr<Class> FirstVisibleClass(boost::shared_ptr<Class> scriptClass) {
    while (scriptClass && scriptClass->IsHidden()) {
        scriptClass = scriptClass->GetScriptBase();
    }
    return scriptClass;
}

}  // namespace Hosting
}  // namespace VelmorandScript
