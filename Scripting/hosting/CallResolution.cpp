#include <VelmorandScript/Errors.h>
#include <VelmorandScript/Hosting.h>

#include <Common/Text.h>

#include <cwchar>

namespace VelmorandScript {
namespace Hosting {

namespace {

// Behaviour bit of a renamed function that the library leaves to the host: call the function
// under its new name.
constexpr int CallsNewNameBehaviour = 0x10;
// How many renames in a row a call may follow before the chain counts as a loop.
constexpr int MaximumRenames = 8;

std::wstring TextOrEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}

}  // namespace

bool IsVoidResult(const Argument& argument) {
    // Only a text of four characters can read "void"; the others need no strings built.
    const wchar_t* scriptType = argument.GetScriptType();
    return scriptType != nullptr && std::wcslen(scriptType) == 4 &&
           Common::CompareNoCase(scriptType, L"void", std::wstring::npos) == 0;
}

std::vector<std::wstring> SplitScriptName(const std::wstring& scriptName) {
    static const std::wstring separator = L"::";
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (std::size_t found = scriptName.find(separator); found != std::wstring::npos;
         found = scriptName.find(separator, start)) {
        parts.push_back(scriptName.substr(start, found - start));
        start = found + separator.size();
    }
    parts.push_back(scriptName.substr(start));
    return parts;
}

boost::shared_ptr<IFunction> FindScriptFunction(const boost::shared_ptr<Class>& scriptClass,
                                                const std::wstring& name, long styleMask,
                                                const boost::shared_ptr<IObject>& object) {
    return scriptClass ? scriptClass->FindFunction(name, styleMask, object)
                       : boost::shared_ptr<IFunction>();
}

void RaiseNoFunction(const boost::shared_ptr<Class>& scriptClass, const std::wstring& name,
                     long styleMask) {
    const std::wstring className = scriptClass ? TextOrEmpty(scriptClass->GetScriptName()) : L"";
    throw ScriptException(className + L" has no function named '" + name + L"' of style " +
                          GetFunctionStyleName(styleMask) + L".");
}

ResolvedCall ResolveDeprecation(const boost::shared_ptr<IScriptContext>& context,
                                const boost::shared_ptr<Class>& scriptClass,
                                const std::wstring& name, long styleMask,
                                const boost::shared_ptr<IObject>& object,
                                boost::shared_ptr<IFunction> function) {
    const std::wstring className = TextOrEmpty(scriptClass->GetScriptName());
    ResolvedCall resolved;
    for (int renames = 0; (function->GetStyle() & DeprecatedStyle) != 0; ++renames) {
        const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(function.get());
        if (deprecated == nullptr) {
            break;
        }
        if (renames == MaximumRenames) {
            throw ScriptException(L"The renames of " + className + L"::" + name +
                                  L" form a loop; fix the module's deprecated functions.");
        }
        boost::shared_ptr<IFunction> called = function;
        if (deprecated->PreInvoke(context, className, called)) {
            break;
        }
        const wchar_t* newName = deprecated->GetDelegateFunctionNames();
        if ((deprecated->GetBehaviour() & CallsNewNameBehaviour) == 0 || newName == nullptr ||
            *newName == L'\0') {
            resolved.renamedTo = nullptr;
            return resolved;  // nothing to run
        }
        function = FindScriptFunction(scriptClass, newName, styleMask, object);
        if (!function) {
            throw ScriptException(L"The function " + className + L"::" + name +
                                  L" was renamed to " + newName +
                                  L", which the class does not define in the same style.");
        }
        resolved.renamedTo = newName;
    }
    resolved.function = std::move(function);
    return resolved;
}

}  // namespace Hosting
}  // namespace VelmorandScript
