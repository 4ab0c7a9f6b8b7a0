// The sample module's script classes: shapes and their colours (as text), a canvas that takes
// arrays, hashes and callbacks, and Shapes::Script, whose static functions use the running
// script's context and show how values of each kind arrive in native code.

#include "Shapes.h"

#include <VelmorandScript/VelmorandScript.h>

#include <algorithm>
#include <numeric>

// Colours reach scripts as text, through the conversions below; listings call them "Color".
template <>
struct VelmorandScript::ScriptTypeName<Shapes::Color> {
    static constexpr const wchar_t* value = L"Color";
};

namespace Shapes {
namespace {

using namespace VelmorandScript;
typedef const std::wstring& Text;
typedef IScriptContext& Context;
typedef const std::vector<double>& Numbers;
const Color black{0, 0, 0};
const DataType colorType(typeid(Color)), textType(typeid(std::wstring));

Value ColorFromText(const Value& source, boost::shared_ptr<IScriptContext>) {
    Color color = black;
    if (!ParseColor(GetAs<std::wstring>(source), color)) {
        throw ScriptException(L"Unknown color '" + GetAs<std::wstring>(source) +
                              L"'; use black, white, red, green, blue, yellow or #rrggbb.");
    }
    return Value(&color);
}

Value TextOfColor(const Value& source, boost::shared_ptr<IScriptContext>) {
    const std::wstring text = ColorToText(GetAs<Color>(source));
    return Value(&text);
}

/// The script function as a predicate of a shape and its index: Lua's truth of its first result.
std::function<bool(const boost::shared_ptr<Shape>&, long)> Predicate(const Value& f, Context c) {
    return [&f, &c](const boost::shared_ptr<Shape>& shape, long index) {
        std::vector<Value> results;
        if (!c.CallScriptFunction(f, {Value(shape), Value(&index)}, false, results)) {
            throw ScriptException(L"The callback is not a function the script can call.");
        }
        return !results.empty() && !results[0].IsEmpty() &&
               (results[0].GetType() != DataType(typeid(bool)) || GetAs<bool>(results[0]));
    };
}

/// Settings come as a Lua table with the keys color and prefix, both optional.
void Restyle(Canvas& canvas, const IHash& settings, Context context) {
    for (const boost::shared_ptr<Shape>& shape : canvas.GetShapes()) {
        if (settings.Exists(L"color")) {
            Value color = settings.Item(L"color");
            ConversionRegistry::GetInstance().ConvertValue(colorType, context.shared_from_this(),
                                                           color, true);
            shape->SetColor(GetAs<Color>(color));
        }
        if (settings.Exists(L"prefix")) {
            shape->SetName(GetAs<std::wstring>(settings.Item(L"prefix")) + shape->GetName());
        }
    }
}

struct ScriptServices {};  // the native type of Shapes::Script, which has static functions only

/// The string keys of a table, sorted. Count() keys: an empty key reads like the end of the walk.
std::vector<std::wstring> SortedKeys(const IHash& table) {
    std::vector<std::wstring> keys;
    std::wstring key = table.FirstKey();
    for (long i = table.Count(); i > 0; --i, key = table.NextKey(key)) {
        keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

void RegisterModule() {
    ConversionRegistry::GetInstance().RegisterDataConversion(textType, colorType, &ColorFromText);
    // With this conversion WrapValue hands colours to scripts as their text.
    ConversionRegistry::GetInstance().RegisterDataConversion(colorType, textType, &TextOfColor);
    // Optional colour arguments without a default of their own (Rectangle's) are black.
    ValueFactory::GetFactory().AddCreator(colorType, [] { return Value(&black); });
    ClassBuilder<Shape>(L"Shapes::Shape", L"Shapes")
        .Property(L"Name", &Shape::GetName, &Shape::SetName)
        .Property(L"Color", &Shape::GetColor, &Shape::SetColor)
        .ReadOnly(L"Kind", &Shape::Kind)
        .ReadOnly(L"Area", &Shape::Area)
        .ReadOnly(L"Perimeter", &Shape::Perimeter)
        .ReadOnly(L"X", &Shape::GetX)
        .ReadOnly(L"Y", &Shape::GetY)
        .Method(L"Describe", &Shape::Describe)
        .Method(L"Move", &Shape::Move, {L"dx", L"dy"})
        // A factor of 2.5 reaches the function as 2, after a loss-of-precision warning.
        .Method(L"Scale", &Shape::Scale, {L"factor"})
        // Older versions: Description() renamed, Rotate() dropped, Resize() replaced by Scale().
        .Renamed(L"Description", L"Describe")
        .Removed(L"Rotate")
        .Replaced(L"Resize", L"Scale")
        .Register();
    ClassBuilder<Circle>(L"Shapes::Circle", L"Shapes")
        .Base(L"Shapes::Shape")
        .Constructor<double, std::wstring>({L"radius", Default(L"name", L"circle")})
        .Static(L"Unit", &Circle::Unit)
        .Static(L"FromDiameter", &Circle::FromDiameter, {L"diameter"})
        .Property(L"Radius", &Circle::GetRadius, &Circle::SetRadius)
        .Register();
    ClassBuilder<Rectangle>(L"Shapes::Rectangle", L"Shapes")
        .Base(L"Shapes::Shape")
        .Constructor(&Rectangle::Make, {L"width", L"height", Default(L"name", L"rectangle"),
                                        Optional(L"color", L"black")})
        .ReadOnly(L"Width", &Rectangle::GetWidth)
        .ReadOnly(L"Height", &Rectangle::GetHeight)
        // Two output arguments: the script receives both, `local w, h = r:GetSize()`.
        .Method(L"GetSize", &Rectangle::GetSize, {L"width", L"height"})
        .Method(L"IsSquare", &Rectangle::IsSquare)
        .Register();
    ClassBuilder<Canvas>(L"Shapes::Canvas", L"Shapes")
        .Constructor<std::wstring>({Default(L"title", L"canvas")})
        .ReadOnly(L"Title", &Canvas::GetTitle)
        .ReadOnly(L"Count", &Canvas::Count)
        .ReadOnly(L"TotalArea", &Canvas::TotalArea)
        .Method(L"Largest", &Canvas::Largest)
        .Method(L"Add", &Canvas::Add, {L"shape"})
        .Method(L"AddAll", &Canvas::AddAll, {L"shapes"})
        .Method(L"Shapes", &Canvas::GetShapes)
        .Method(L"Names", &Canvas::Names)
        .Method(L"Restyle", &Restyle, {Typed(L"settings", L"table")})
        .Method(L"ForEach",
                [](const Canvas& canvas, const Value& f, Context c) {
                    return canvas.ForEach(Predicate(f, c));
                },
                {Typed(L"callback", L"function")})
        .Method(L"Select",
                [](const Canvas& canvas, const Value& f, Context c) {
                    return canvas.Select(Predicate(f, c));
                },
                {Typed(L"predicate", L"function")})
        .Register();
    ClassBuilder<ScriptServices>(L"Shapes::Script", L"Shapes")
        // Sends a warning to the script's handler; true when the handler took it.
        .Static(L"Warn", [](Text t, Context c) { return c.NotifyScript(t, WarningEvent); },
                {L"text"})
        .Static(L"Cancel", [](Context c) { c.CancelScript(); })
        .Static(L"Name",
                [](Context c) { return c.GetScriptName() + L" (" + c.GetScriptLanguage() + L")"; })
        .Static(L"Get", [](Text name, Context c) { return c.GetScriptVariable(name); }, {L"name"})
        .Static(L"Set", [](Text name, const Value& v, Context c) { c.SetScriptVariable(name, v); },
                {L"name", L"value"})
        // Calls a global script function by its name with one argument; its first result.
        .Static(L"Call",
                [](Text function, const Value& argument, Context context) {
                    std::vector<Value> results;
                    if (!context.CallScriptFunction(Value(&function), {argument}, false, results)) {
                        throw ScriptException(L"No script function named " + function + L".");
                    }
                    return results.empty() ? Value() : results[0];
                },
                {L"function", L"argument"})
        .Static(L"Fail", [](Text message) { throw ScriptException(message); }, {L"message"})
        .Static(L"Echo", [](const Value& value) { return value; }, {L"value"})
        .Static(L"TypeOf", [](const Value& value) { return value.GetTypeName(); }, {L"value"})
        .Static(L"Int", [](int number) { return number; }, {L"number"})
        .Static(L"Byte", [](unsigned char number) { return number; }, {L"number"})
        .Static(L"Sum", [](Numbers n) { return std::accumulate(n.begin(), n.end(), 0.0); },
                {L"numbers"})
        .Static(L"Range",
                [](long count) {
                    std::vector<long> numbers(count > 0 ? count : 0);
                    std::iota(numbers.begin(), numbers.end(), 1L);
                    return numbers;
                },
                {L"count"})
        .Static(L"Keys", &SortedKeys, {Typed(L"table", L"table")})
        // Appends to a Lua sequence in place: native writes show in the script's table.
        .Static(L"Append", [](IArray& list, const Value& item) { list.Add(item, false); },
                {L"list", L"item"})
        .Register();
}

}  // namespace Shapes
