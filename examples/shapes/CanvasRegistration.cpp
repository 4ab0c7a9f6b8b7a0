// Shapes::Canvas, the collection class: it hands its shapes to scripts as arrays, takes arrays
// and hashes from scripts, and calls script functions back for each shape.

#include "ModuleSupport.h"
#include "Shapes.h"

namespace Shapes {
namespace Module {

namespace {

using namespace VelmorandScript;

const wchar_t* const canvasClassName = L"Shapes::Canvas";

Canvas& CanvasOf(const Value& self) {
    return *CastTo<Canvas>(&self, true);
}

/// A script array over a snapshot of the items.
template <class T>
Value ArrayOf(std::vector<T> items) {
    boost::shared_ptr<IArray> array = boost::make_shared<Array>(
        boost::make_shared<StdVector<T>>(boost::make_shared<std::vector<T>>(std::move(items))));
    return Value(array);
}

/// The shape a Value presents (shapes are shared, so the canvas may keep them).
boost::shared_ptr<Shape> SharedShape(const Value& value) {
    return CastTo<Shape>(&value, true)->shared_from_this();
}

/// Lua's notion of truth for a script function's result.
bool IsTrue(const std::vector<Value>& results) {
    if (results.empty() || results[0].IsEmpty()) {
        return false;
    }
    return results[0].GetType() != DataType(typeid(bool)) || GetAs<bool>(results[0]);
}

/// Calls the script function with (shape, 1-based index) and returns its results.
std::vector<Value> CallBack(IScriptContext& context, const Value& callback,
                            const boost::shared_ptr<Shape>& shape, long index) {
    std::vector<Value> results;
    if (!context.CallScriptFunction(callback, {Value(shape), Make(index)}, false, results)) {
        throw ScriptException(L"The callback is not a function the script can call.");
    }
    return results;
}

void RegisterAccessors(Class& canvas) {
    AddFunction(
        canvas, L"Canvas", ConstructorStyle,
        {Optional<std::wstring>(L"String", L"title", Make(std::wstring(L"canvas")), L"\"canvas\""),
         Returns<Canvas>(L"Shapes::Canvas")},
        [](const Value&, std::vector<Value>& arguments) {
            arguments[1] = Value(boost::make_shared<Canvas>(GetAs<std::wstring>(arguments[0])));
        });
    AddFunction(canvas, L"Title", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(CanvasOf(self).GetTitle());
                });
    AddFunction(canvas, L"Count", PropertyGetStyle, {Returns<long>(L"long")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(static_cast<long>(CanvasOf(self).GetShapes().size()));
                });
    AddFunction(canvas, L"TotalArea", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(CanvasOf(self).TotalArea());
                });
    AddFunction(canvas, L"Largest", InstanceStyle, {Returns<Shape>(L"Shapes::Shape")},
                [](const Value& self, std::vector<Value>& arguments) {
                    const boost::shared_ptr<Shape> largest = CanvasOf(self).Largest();
                    arguments[0] = largest ? Value(largest) : Value();
                });
}

void RegisterCollectionFunctions(Class& canvas) {
    AddFunction(canvas, L"Add", CommandStyle,
                {In<Shape>(L"Shapes::Shape", L"shape"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    CanvasOf(self).Add(SharedShape(arguments[0]));
                });
    AddFunction(canvas, L"AddAll", CommandStyle,
                {In<IArray>(L"VelmorandScript::Array", L"shapes"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    const IArray& shapes = *CastTo<IArray>(&arguments[0], true);
                    for (long i = 0; i < shapes.Count(); ++i) {
                        CanvasOf(self).Add(SharedShape(shapes.Item(i)));
                    }
                });
    AddFunction(canvas, L"Shapes", InstanceStyle, {Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = ArrayOf(CanvasOf(self).GetShapes());
                });
    AddFunction(canvas, L"Names", InstanceStyle, {Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value& self, std::vector<Value>& arguments) {
                    std::vector<std::wstring> names;
                    for (const boost::shared_ptr<Shape>& shape : CanvasOf(self).GetShapes()) {
                        names.push_back(shape->GetName());
                    }
                    arguments[0] = ArrayOf(std::move(names));
                });
    // Settings come as a Lua table with the keys color and prefix, both optional.
    AddFunction(canvas, L"Restyle", CommandStyle,
                {In<IHash>(L"table", L"settings"), ScriptContext(), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    const IHash& settings = *CastTo<IHash>(&arguments[0], true);
                    for (const boost::shared_ptr<Shape>& shape : CanvasOf(self).GetShapes()) {
                        if (settings.Exists(L"color")) {
                            Value color = settings.Item(L"color");
                            ConversionRegistry::GetInstance().ConvertValue(
                                DataType(typeid(Color)), ContextOf(arguments[1]).shared_from_this(),
                                color, true);
                            shape->SetColor(GetAs<Color>(color));
                        }
                        if (settings.Exists(L"prefix")) {
                            shape->SetName(GetAs<std::wstring>(settings.Item(L"prefix")) +
                                           shape->GetName());
                        }
                    }
                });
}

void RegisterCallbacks(Class& canvas) {
    // The callback is declared as a Value: the script's function arrives boxed, and its content
    // is what CallScriptFunction expects.
    AddFunction(canvas, L"ForEach", InstanceStyle,
                {In<Value>(L"function", L"callback"), ScriptContext(), Returns<long>(L"long")},
                [](const Value& self, std::vector<Value>& arguments) {
                    const Value callback = GetAs<Value>(arguments[0]);
                    long index = 0;
                    // The callback may change the canvas: the loop goes over the shapes the
                    // canvas had when called.
                    const std::vector<boost::shared_ptr<Shape>> shapes = CanvasOf(self).GetShapes();
                    for (const boost::shared_ptr<Shape>& shape : shapes) {
                        CallBack(ContextOf(arguments[1]), callback, shape, ++index);
                    }
                    arguments[2] = Make(index);
                });
    AddFunction(canvas, L"Select", InstanceStyle,
                {In<Value>(L"function", L"predicate"), ScriptContext(),
                 Returns<IArray>(L"VelmorandScript::Array")},
                [](const Value& self, std::vector<Value>& arguments) {
                    const Value predicate = GetAs<Value>(arguments[0]);
                    std::vector<boost::shared_ptr<Shape>> selected;
                    long index = 0;
                    const std::vector<boost::shared_ptr<Shape>> shapes = CanvasOf(self).GetShapes();
                    for (const boost::shared_ptr<Shape>& shape : shapes) {
                        if (IsTrue(CallBack(ContextOf(arguments[1]), predicate, shape, ++index))) {
                            selected.push_back(shape);
                        }
                    }
                    arguments[2] = ArrayOf(std::move(selected));
                });
}

}  // namespace

void RegisterCanvasClass() {
    auto canvas = boost::make_shared<Class>(DataType(typeid(Canvas)), canvasClassName, nullptr,
                                            moduleName, false);
    RegisterAccessors(*canvas);
    RegisterCollectionFunctions(*canvas);
    RegisterCallbacks(*canvas);
    ClassRegistry::GetInstance().AddClass(canvas);
}

}  // namespace Module
}  // namespace Shapes
