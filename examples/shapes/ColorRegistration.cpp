// Colours reach scripts as text: conversions between Color and String, and a value creator that
// gives optional colour arguments their default, black.

#include "ModuleSupport.h"
#include "Shapes.h"

namespace Shapes {
namespace Module {

namespace {

using VelmorandScript::ScriptException;

Value ColorFromString(const Value& source, boost::shared_ptr<VelmorandScript::IScriptContext>) {
    const std::wstring text = VelmorandScript::GetAs<std::wstring>(source);
    Color color{0, 0, 0};
    if (!ParseColor(text, color)) {
        throw ScriptException(L"Unknown color '" + text +
                              L"'; use black, white, red, green, blue, yellow or #rrggbb.");
    }
    return Make(color);
}

Value ColorToString(const Value& source, boost::shared_ptr<VelmorandScript::IScriptContext>) {
    return Make(ColorToText(VelmorandScript::GetAs<Color>(source)));
}

Value DefaultColor() {
    return Make(Color{0, 0, 0});
}

}  // namespace

void RegisterColor() {
    VelmorandScript::ConversionRegistry& registry =
        VelmorandScript::ConversionRegistry::GetInstance();
    registry.RegisterDataConversion(DataType(typeid(std::wstring)), DataType(typeid(Color)),
                                    &ColorFromString);
    // With this conversion WrapValue hands colours to scripts as their text.
    registry.RegisterDataConversion(DataType(typeid(Color)), DataType(typeid(std::wstring)),
                                    &ColorToString);
    VelmorandScript::ValueFactory::GetFactory().AddCreator(DataType(typeid(Color)), &DefaultColor);
}

}  // namespace Module
}  // namespace Shapes
