#pragma once

// The role each argument descriptor gives its slot in a script call: the context native code
// receives, an input the script supplies, a return value (unless declared void), an output.

#include <VelmorandScript/VelmorandScript.h>

#include <Common/Text.h>

#include <cwchar>
#include <string>
#include <typeinfo>

namespace VelmorandScript {
namespace Lua {

inline bool IsContextType(const DataType& type) {
    // A context argument is declared as IScriptContext itself; the names compare equal only
    // then, and most arguments differ in their first letter.
    return type == DataType(typeid(IScriptContext));
}

inline bool IsVoidType(const Argument& argument) {
    // Only a text of four characters can read "void"; the others need no strings built.
    const wchar_t* scriptType = argument.GetScriptType();
    return scriptType != nullptr && std::wcslen(scriptType) == 4 &&
           Common::CompareNoCase(scriptType, L"void", std::wstring::npos) == 0;
}

/// Whether an argument that is no context is one the script supplies: inputs, and arguments
/// that carry no direction bit at all.
inline bool IsScriptInputStyle(long style) {
    if ((style & ReturnArgument) != 0) {
        return false;
    }
    return (style & InputArgument) != 0 || (style & OutputArgument) == 0;
}

/// A return value the script receives.
inline bool IsScriptResult(const Argument& argument) {
    return (argument.GetStyle() & ReturnArgument) != 0 && !IsVoidType(argument);
}

/// An output argument that is no return value; the script receives it after the return value.
inline bool IsScriptOutput(long style) {
    return (style & OutputArgument) != 0 && (style & ReturnArgument) == 0;
}

}  // namespace Lua
}  // namespace VelmorandScript
