#pragma once

// Descriptor-level helpers that tests/lua/lua_host_test.cpp still describes its probe classes
// with. The sample module itself uses the typed registration (Registration.h); this file goes
// once that test does too.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <initializer_list>
#include <utility>
#include <vector>

namespace Shapes {
namespace Module {

using VelmorandScript::Argument;
using VelmorandScript::DataType;
using VelmorandScript::Value;

/// A Value holding a copy of `value`.
template <class T>
Value Make(const T& value) {
    return Value(&value);
}

template <class T>
Argument In(const wchar_t* scriptType, const wchar_t* name) {
    return Argument(DataType(typeid(T)), scriptType, name, VelmorandScript::InputArgument, Value(),
                    nullptr);
}

template <class T>
Argument Returns(const wchar_t* scriptType) {
    return Argument(DataType(typeid(T)), scriptType, L"result", VelmorandScript::ReturnArgument,
                    Value(), nullptr);
}

/// The running script's context, which the host supplies: the script does not pass it.
inline Argument ScriptContext() {
    return Argument(DataType(typeid(VelmorandScript::IScriptContext)), L"context", L"context",
                    VelmorandScript::InputArgument, Value(), nullptr);
}

inline VelmorandScript::IScriptContext& ContextOf(const Value& argument) {
    return *VelmorandScript::CastTo<VelmorandScript::IScriptContext>(&argument, true);
}

inline void AddFunction(VelmorandScript::Class& scriptClass, const wchar_t* name, int style,
                        std::initializer_list<Argument> arguments,
                        VelmorandScript::NativeFunction::Body body) {
    const bool isConst = (style & VelmorandScript::PropertyGetStyle) != 0;
    auto function = boost::make_shared<VelmorandScript::NativeFunction>(
        name, scriptClass.GetScriptName(), L"Shapes", isConst, style, std::move(body));
    for (const Argument& argument : arguments) {
        function->AddArgument(argument);
    }
    scriptClass.AddFunction(function);
}

}  // namespace Module
}  // namespace Shapes
