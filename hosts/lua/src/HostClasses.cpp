#include "HostClasses.h"

#include <VelmorandScript/VelmorandScript.h>

#include <boost/make_shared.hpp>

#include <initializer_list>
#include <string>

namespace VelmorandScript {
namespace Lua {

namespace {

const wchar_t* const moduleName = L"VelmorandScript::Lua";
const wchar_t* const arrayClassName = L"VelmorandScript::Array";
const wchar_t* const classClassName = L"VelmorandScript::Class";
const wchar_t* const functionClassName = L"VelmorandScript::Function";
const wchar_t* const argumentClassName = L"VelmorandScript::Argument";

template <class T>
Value Make(const T& value) {
    return Value(&value);
}

Value TextOrNil(const wchar_t* text) {
    return text != nullptr && *text != L'\0' ? Make(std::wstring(text)) : Value();
}

template <class T>
Argument Returns(const wchar_t* scriptType) {
    return Argument(DataType(typeid(T)), scriptType, L"result", ReturnArgument, Value(), nullptr);
}

template <class T>
Argument Input(const wchar_t* scriptType, const wchar_t* name) {
    return Argument(DataType(typeid(T)), scriptType, name, InputArgument, Value(), nullptr);
}

Argument ReturnsNothing() {
    return Argument(DataType(typeid(void)), L"void", L"result", ReturnArgument, Value(), nullptr);
}

void AddFunction(Class& scriptClass, const wchar_t* name, int style,
                 std::initializer_list<Argument> arguments, NativeFunction::Body body) {
    auto function =
        boost::make_shared<NativeFunction>(name, scriptClass.GetScriptName(), moduleName,
                                           (style & PropertyGetStyle) != 0, style, std::move(body));
    for (const Argument& argument : arguments) {
        function->AddArgument(argument);
    }
    scriptClass.AddFunction(function);
}

// Script indexes count from 1, the library's from 0.
long ToLibraryIndex(const Value& scriptIndex) {
    return GetAs<long>(scriptIndex) - 1;
}

// The Array class stays hand-built: ClassBuilder takes the object of a method only as an
// application class, and an IArray is none. Members of the other classes that give nil for a
// missing text stay hand-built too: a bound function's String result is always a text.
void RegisterArrayClass() {
    auto array = boost::make_shared<Class>(DataType(typeid(IArray)), arrayClassName, nullptr,
                                           moduleName, false);
    AddFunction(*array, L"count", InstanceStyle, {Returns<long>(L"long")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(CastTo<IArray>(&self, true)->Count());
                });
    AddFunction(*array, L"item", InstanceStyle,
                {Input<long>(L"long", L"index"), Returns<Value>(L"any")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[1] = CastTo<IArray>(&self, true)->Item(ToLibraryIndex(arguments[0]));
                });
    AddFunction(*array, L"add", CommandStyle, {Input<Value>(L"any", L"item"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    CastTo<IArray>(&self, true)->Add(GetAs<Value>(arguments[0]), false);
                });
    AddFunction(*array, L"insert", CommandStyle,
                {Input<long>(L"long", L"index"), Input<Value>(L"any", L"item"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    CastTo<IArray>(&self, true)
                        ->Insert(ToLibraryIndex(arguments[0]), GetAs<Value>(arguments[1]));
                });
    AddFunction(*array, L"replace", CommandStyle,
                {Input<long>(L"long", L"index"), Input<Value>(L"any", L"item"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    CastTo<IArray>(&self, true)
                        ->Replace(ToLibraryIndex(arguments[0]), GetAs<Value>(arguments[1]));
                });
    AddFunction(*array, L"delete", CommandStyle, {Input<long>(L"long", L"index"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    CastTo<IArray>(&self, true)->Delete(ToLibraryIndex(arguments[0]));
                });
    AddFunction(
        *array, L"clear", CommandStyle, {ReturnsNothing()},
        [](const Value& self, std::vector<Value>&) { CastTo<IArray>(&self, true)->Clear(); });
    ClassRegistry::GetInstance().AddClass(array);
}

void RegisterClassClass() {
    const boost::shared_ptr<Class> descriptor = ClassBuilder<Class>(classClassName, moduleName)
                                                    .ReadOnly(L"hidden", &Class::IsHidden)
                                                    .Build();
    AddFunction(*descriptor, L"name", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = TextOrNil(CastTo<Class>(&self, true)->GetScriptName());
                });
    AddFunction(*descriptor, L"base", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = TextOrNil(CastTo<Class>(&self, true)->GetBaseScriptName());
                });
    AddFunction(*descriptor, L"module", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] =
                        TextOrNil(CastTo<Class>(&self, true)->GetIntroducingModuleName());
                });
    AddFunction(*descriptor, L"functions", InstanceStyle,
                {Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Value(CastTo<Class>(&self, true)->GetClassFunctions());
                });
    ClassRegistry::GetInstance().AddClass(descriptor);
}

void RegisterFunctionClass() {
    const boost::shared_ptr<Class> descriptor =
        ClassBuilder<IFunction>(functionClassName, moduleName)
            .ReadOnly(
                L"style",
                [](const IFunction& function) { return GetFunctionStyleName(function.GetStyle()); })
            .ReadOnly(L"style_bits", &IFunction::GetStyle)
            .Build();
    AddFunction(*descriptor, L"name", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = TextOrNil(CastTo<IFunction>(&self, true)->GetName());
                });
    AddFunction(*descriptor, L"class", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    IFunction* function = CastTo<IFunction>(&self, true);
                    if (const auto* described = dynamic_cast<const Function*>(function)) {
                        arguments[0] = TextOrNil(described->GetOwningClassName());
                    } else if (const boost::shared_ptr<Class> owner = function->GetOwningClass()) {
                        arguments[0] = TextOrNil(owner->GetScriptName());
                    }
                });
    AddFunction(*descriptor, L"deprecation", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    if (const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(
                            CastTo<IFunction>(&self, true))) {
                        arguments[0] = TextOrNil(deprecated->GetDeprecationType());
                    }
                });
    AddFunction(*descriptor, L"replacement", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    if (const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(
                            CastTo<IFunction>(&self, true))) {
                        arguments[0] = TextOrNil(deprecated->GetDelegateFunctionNames());
                    }
                });
    AddFunction(*descriptor, L"arguments", InstanceStyle,
                {Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Value(CastTo<IFunction>(&self, true)->GetFunctionArguments());
                });
    ClassRegistry::GetInstance().AddClass(descriptor);
}

void RegisterArgumentClass() {
    const boost::shared_ptr<Class> descriptor =
        ClassBuilder<Argument>(argumentClassName, moduleName)
            .ReadOnly(L"type",
                      [](const Argument& argument) { return argument.GetType().GetName(); })
            .ReadOnly(L"style", &Argument::GetStyle)
            .ReadOnly(L"optional", &Argument::IsOptional)
            .Build();
    AddFunction(*descriptor, L"name", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = TextOrNil(CastTo<Argument>(&self, true)->GetName());
                });
    AddFunction(*descriptor, L"script_type", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = TextOrNil(CastTo<Argument>(&self, true)->GetScriptType());
                });
    AddFunction(*descriptor, L"default", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] =
                        TextOrNil(CastTo<Argument>(&self, true)->GetScriptDefaultValue());
                });
    ClassRegistry::GetInstance().AddClass(descriptor);
}

}  // namespace

void RegisterHostClasses() {
    RegisterArrayClass();
    RegisterClassClass();
    RegisterFunctionClass();
    RegisterArgumentClass();
}

}  // namespace Lua
}  // namespace VelmorandScript
