#include <VelmorandScript/Hosting.h>
#include <VelmorandScript/Registration.h>

#include <optional>
#include <string>

namespace VelmorandScript {
namespace Hosting {

namespace {

// Descriptors leave unset texts null or empty; scripts see nil for both.
std::optional<std::wstring> TextOrNil(const wchar_t* text) {
    return text != nullptr && *text != L'\0' ? std::optional<std::wstring>(text) : std::nullopt;
}

// Script indexes count from 1, the library's from 0.
void RegisterArrayClass(const wchar_t* moduleName) {
    ClassBuilder<IArray>(L"VelmorandScript::Array", moduleName)
        .Method(L"count", [](IArray& array) { return array.Count(); })
        .Method(L"item", [](IArray& array, long index) { return array.Item(index - 1); },
                {L"index"})
        .Method(L"add", [](IArray& array, const Value& item) { array.Add(item, false); }, {L"item"})
        .Method(L"insert",
                [](IArray& array, long index, const Value& item) { array.Insert(index - 1, item); },
                {L"index", L"item"})
        .Method(
            L"replace",
            [](IArray& array, long index, const Value& item) { array.Replace(index - 1, item); },
            {L"index", L"item"})
        .Method(L"delete", [](IArray& array, long index) { array.Delete(index - 1); }, {L"index"})
        .Method(L"clear", [](IArray& array) { array.Clear(); })
        .Register();
}

void RegisterClassClass(const wchar_t* moduleName) {
    ClassBuilder<Class>(L"VelmorandScript::Class", moduleName)
        .ReadOnly(L"hidden", &Class::IsHidden)
        .ReadOnly(L"name",
                  [](const Class& described) { return TextOrNil(described.GetScriptName()); })
        .ReadOnly(L"base",
                  [](const Class& described) { return TextOrNil(described.GetBaseScriptName()); })
        .ReadOnly(
            L"module",
            [](const Class& described) { return TextOrNil(described.GetIntroducingModuleName()); })
        .Method(L"functions", &Class::GetClassFunctions)
        .Register();
}

void RegisterFunctionClass(const wchar_t* moduleName) {
    ClassBuilder<IFunction>(L"VelmorandScript::Function", moduleName)
        .ReadOnly(
            L"style",
            [](const IFunction& function) { return GetFunctionStyleName(function.GetStyle()); })
        .ReadOnly(L"style_bits", &IFunction::GetStyle)
        .ReadOnly(L"name", [](const IFunction& function) { return TextOrNil(function.GetName()); })
        .ReadOnly(L"class",
                  [](IFunction& function) {
                      if (const auto* described = dynamic_cast<const Function*>(&function)) {
                          return TextOrNil(described->GetOwningClassName());
                      }
                      const boost::shared_ptr<Class> owner = function.GetOwningClass();
                      return owner ? TextOrNil(owner->GetScriptName()) : std::nullopt;
                  })
        .ReadOnly(L"deprecation",
                  [](const IFunction& function) {
                      const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(&function);
                      return deprecated ? TextOrNil(deprecated->GetDeprecationType())
                                        : std::nullopt;
                  })
        .ReadOnly(L"replacement",
                  [](const IFunction& function) {
                      const auto* deprecated = dynamic_cast<const DeprecatedFunction*>(&function);
                      return deprecated ? TextOrNil(deprecated->GetDelegateFunctionNames())
                                        : std::nullopt;
                  })
        .Method(L"arguments", &IFunction::GetFunctionArguments)
        .Register();
}

void RegisterArgumentClass(const wchar_t* moduleName) {
    ClassBuilder<Argument>(L"VelmorandScript::Argument", moduleName)
        .ReadOnly(L"type", [](const Argument& argument) { return argument.GetType().GetName(); })
        .ReadOnly(L"style", &Argument::GetStyle)
        .ReadOnly(L"optional", &Argument::IsOptional)
        .ReadOnly(L"name", [](const Argument& argument) { return TextOrNil(argument.GetName()); })
        .ReadOnly(L"script_type",
                  [](const Argument& argument) { return TextOrNil(argument.GetScriptType()); })
        .ReadOnly(
            L"default",
            [](const Argument& argument) { return TextOrNil(argument.GetScriptDefaultValue()); })
        .Register();
}

}  // namespace

void RegisterHostClasses(const wchar_t* moduleName) {
    // The module's name lives on in the descriptors, which keep texts as pointers.
    moduleName = Detail::KeepText(moduleName != nullptr ? moduleName : L"");
    RegisterArrayClass(moduleName);
    RegisterClassClass(moduleName);
    RegisterFunctionClass(moduleName);
    RegisterArgumentClass(moduleName);
}

}  // namespace Hosting
}  // namespace VelmorandScript
