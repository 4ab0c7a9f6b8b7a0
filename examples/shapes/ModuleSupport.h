#pragma once

// Small helpers that keep the descriptions of the sample module's classes short: argument
// descriptors by direction, and functions whose body is a lambda.

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <initializer_list>
#include <string>
#include <vector>

namespace Shapes {
namespace Module {

using VelmorandScript::Argument;
using VelmorandScript::DataType;
using VelmorandScript::Value;

const wchar_t* const moduleName = L"Shapes";

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

/// An optional input; an empty `defaultValue` lets the host ask the value factory.
template <class T>
Argument Optional(const wchar_t* scriptType, const wchar_t* name, Value defaultValue,
                  const wchar_t* scriptDefault) {
    return Argument(DataType(typeid(T)), scriptType, name,
                    VelmorandScript::InputArgument | VelmorandScript::OptionalArgument,
                    std::move(defaultValue), scriptDefault);
}

template <class T>
Argument Out(const wchar_t* scriptType, const wchar_t* name) {
    return Argument(DataType(typeid(T)), scriptType, name, VelmorandScript::OutputArgument, Value(),
                    nullptr);
}

template <class T>
Argument Returns(const wchar_t* scriptType) {
    return Argument(DataType(typeid(T)), scriptType, L"result", VelmorandScript::ReturnArgument,
                    Value(), nullptr);
}

inline Argument ReturnsNothing() {
    return Argument(DataType(typeid(void)), L"void", L"result", VelmorandScript::ReturnArgument,
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
        name, scriptClass.GetScriptName(), moduleName, isConst, style, std::move(body));
    for (const Argument& argument : arguments) {
        function->AddArgument(argument);
    }
    scriptClass.AddFunction(function);
}

// Registration of the module's parts, in the order VelmorandRegisterModule calls them.
void RegisterColor();
void RegisterShapeClasses();
void RegisterCanvasClass();
void RegisterScriptClass();

}  // namespace Module
}  // namespace Shapes
