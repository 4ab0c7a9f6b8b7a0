// Shapes::Shape and its derived classes Shapes::Circle and Shapes::Rectangle. Every shape
// travels as a Value sharing a Shape (declared type Shape, derived type its own class), so any
// shape fits an argument of type Shape and the library finds the class of the derived type.

#include "ModuleSupport.h"
#include "Shapes.h"

namespace Shapes {
namespace Module {

namespace {

using namespace VelmorandScript;

const wchar_t* const shapeClassName = L"Shapes::Shape";
const wchar_t* const circleClassName = L"Shapes::Circle";
const wchar_t* const rectangleClassName = L"Shapes::Rectangle";

Value ShapeValue(const boost::shared_ptr<Shape>& shape) {
    return Value(shape);
}

Shape& ShapeOf(const Value& self) {
    return *CastTo<Shape>(&self, true);
}

/// The object a function of a derived class was called on.
template <class T>
T& SelfAs(const Value& self, const wchar_t* className) {
    T* object = dynamic_cast<T*>(CastTo<Shape>(&self, true));
    if (object == nullptr) {
        throw ScriptException(std::wstring(L"Expected a ") + className + L" object, got " +
                              self.GetDerivedTypeName() + L".");
    }
    return *object;
}

void RegisterShape() {
    auto shape = boost::make_shared<Class>(DataType(typeid(Shape)), shapeClassName, nullptr,
                                           moduleName, false);
    AddFunction(*shape, L"Name", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).GetName());
                });
    AddFunction(*shape, L"Name", PropertySetStyle,
                {In<std::wstring>(L"String", L"name"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    ShapeOf(self).SetName(GetAs<std::wstring>(arguments[0]));
                });
    AddFunction(*shape, L"Color", PropertyGetStyle, {Returns<Color>(L"Color")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).GetColor());
                });
    AddFunction(*shape, L"Color", PropertySetStyle,
                {In<Color>(L"Color", L"color"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    ShapeOf(self).SetColor(GetAs<Color>(arguments[0]));
                });
    AddFunction(*shape, L"Kind", PropertyGetStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).Kind());
                });
    AddFunction(*shape, L"Area", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).Area());
                });
    AddFunction(*shape, L"Perimeter", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).Perimeter());
                });
    AddFunction(*shape, L"X", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).GetX());
                });
    AddFunction(*shape, L"Y", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).GetY());
                });
    AddFunction(*shape, L"Describe", InstanceStyle, {Returns<std::wstring>(L"String")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(ShapeOf(self).Describe());
                });
    AddFunction(*shape, L"Move", CommandStyle,
                {In<double>(L"double", L"dx"), In<double>(L"double", L"dy"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    ShapeOf(self).Move(GetAs<double>(arguments[0]), GetAs<double>(arguments[1]));
                });
    // A factor of 2.5 reaches the function as 2, after a loss-of-precision warning.
    AddFunction(*shape, L"Scale", CommandStyle, {In<int>(L"int", L"factor"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    ShapeOf(self).Scale(GetAs<int>(arguments[0]));
                });
    // Older versions of the module: Description() was renamed, Rotate() dropped, Resize()
    // replaced by Scale(), which takes a factor instead of a size.
    shape->AddFunction(boost::make_shared<DeprecatedRenamedFunction>(
        L"Description", shapeClassName, moduleName, InstanceStyle, L"Describe"));
    shape->AddFunction(boost::make_shared<DeprecatedRemovedFunction>(
        L"Rotate", shapeClassName, moduleName, CommandStyle, L""));
    shape->AddFunction(boost::make_shared<DeprecatedReplacedFunction>(
        L"Resize", shapeClassName, moduleName, CommandStyle, L"Scale"));
    ClassRegistry::GetInstance().AddClass(shape);
}

void RegisterCircle() {
    auto circle = boost::make_shared<Class>(DataType(typeid(Circle)), circleClassName,
                                            shapeClassName, moduleName, false);
    AddFunction(
        *circle, L"Circle", ConstructorStyle,
        {In<double>(L"double", L"radius"),
         Optional<std::wstring>(L"String", L"name", Make(std::wstring(L"circle")), L"\"circle\""),
         Returns<Shape>(L"Shapes::Circle")},
        [](const Value&, std::vector<Value>& arguments) {
            arguments[2] = ShapeValue(boost::make_shared<Circle>(
                GetAs<double>(arguments[0]), GetAs<std::wstring>(arguments[1])));
        });
    AddFunction(*circle, L"Unit", StaticStyle, {Returns<Shape>(L"Shapes::Circle")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[0] = ShapeValue(boost::make_shared<Circle>(1.0, L"unit"));
                });
    AddFunction(*circle, L"FromDiameter", StaticStyle,
                {In<double>(L"double", L"diameter"), Returns<Shape>(L"Shapes::Circle")},
                [](const Value&, std::vector<Value>& arguments) {
                    arguments[1] = ShapeValue(
                        boost::make_shared<Circle>(GetAs<double>(arguments[0]) / 2, L"circle"));
                });
    AddFunction(*circle, L"Radius", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(SelfAs<Circle>(self, circleClassName).GetRadius());
                });
    AddFunction(*circle, L"Radius", PropertySetStyle,
                {In<double>(L"double", L"radius"), ReturnsNothing()},
                [](const Value& self, std::vector<Value>& arguments) {
                    SelfAs<Circle>(self, circleClassName).SetRadius(GetAs<double>(arguments[0]));
                });
    ClassRegistry::GetInstance().AddClass(circle);
}

void RegisterRectangle() {
    auto rectangle = boost::make_shared<Class>(DataType(typeid(Rectangle)), rectangleClassName,
                                               shapeClassName, moduleName, false);
    // The colour has no default value of its own: the host takes it from the value factory.
    AddFunction(*rectangle, L"Rectangle", ConstructorStyle,
                {In<double>(L"double", L"width"), In<double>(L"double", L"height"),
                 Optional<std::wstring>(L"String", L"name", Make(std::wstring(L"rectangle")),
                                        L"\"rectangle\""),
                 Optional<Color>(L"Color", L"color", Value(), L"black"),
                 Returns<Shape>(L"Shapes::Rectangle")},
                [](const Value&, std::vector<Value>& arguments) {
                    auto created = boost::make_shared<Rectangle>(GetAs<double>(arguments[0]),
                                                                 GetAs<double>(arguments[1]),
                                                                 GetAs<std::wstring>(arguments[2]));
                    created->SetColor(GetAs<Color>(arguments[3]));
                    arguments[4] = ShapeValue(created);
                });
    AddFunction(*rectangle, L"Width", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(SelfAs<Rectangle>(self, rectangleClassName).GetWidth());
                });
    AddFunction(*rectangle, L"Height", PropertyGetStyle, {Returns<double>(L"double")},
                [](const Value& self, std::vector<Value>& arguments) {
                    arguments[0] = Make(SelfAs<Rectangle>(self, rectangleClassName).GetHeight());
                });
    // Two output arguments: the script receives both, `local w, h = r:GetSize()`.
    AddFunction(
        *rectangle, L"GetSize", InstanceStyle,
        {Out<double>(L"double", L"width"), Out<double>(L"double", L"height"), ReturnsNothing()},
        [](const Value& self, std::vector<Value>& arguments) {
            const Rectangle& object = SelfAs<Rectangle>(self, rectangleClassName);
            arguments[0] = Make(object.GetWidth());
            arguments[1] = Make(object.GetHeight());
        });
    AddFunction(*rectangle, L"IsSquare", InstanceStyle, {Returns<bool>(L"bool")},
                [](const Value& self, std::vector<Value>& arguments) {
                    const Rectangle& object = SelfAs<Rectangle>(self, rectangleClassName);
                    arguments[0] = Make(object.GetWidth() == object.GetHeight());
                });
    ClassRegistry::GetInstance().AddClass(rectangle);
}

}  // namespace

void RegisterShapeClasses() {
    RegisterShape();
    RegisterCircle();
    RegisterRectangle();
}

}  // namespace Module
}  // namespace Shapes
