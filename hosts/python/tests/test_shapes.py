"""The velmorand package against the sample module of shapes: classes as types, members,
argument errors, and values in their native and Python forms."""

import sys
import warnings

import pytest

import velmorand
from velmorand.Shapes import Canvas, Circle, Rectangle, Script, Shape


def test_loading_and_lookup_errors_raise_script_error(shapes_module):
    assert issubclass(velmorand.ScriptError, Exception)
    with pytest.raises(velmorand.ScriptError, match="no-such-module.so"):
        velmorand.load_module("/nonexistent/no-such-module.so")
    with pytest.raises(velmorand.ScriptError, match=r"^Unknown class Shapes::Hexagon\.$"):
        velmorand.get_class("Shapes::Hexagon")
    velmorand.load_module(shapes_module)  # loading a module again registers nothing twice
    velmorand.check()


def test_classes_are_types_made_once_that_follow_the_class_chain():
    assert velmorand.get_class("Shapes::Circle") is Circle and issubclass(Circle, Shape)
    assert Circle.__name__ == "Shapes::Circle" and isinstance(Circle(2, "wheel"), Shape)
    # An object a function returns is an instance of its own class's type.
    canvas = Canvas("garden")
    canvas.Add(Circle(2))
    canvas.Add(Rectangle(5, 4))
    assert type(canvas.Largest()) is Rectangle


@pytest.mark.parametrize("call, error", [
    (lambda: Circle(), r"^Missing argument 'radius' \(argument #1, calling "
                       r"Shapes::Circle::Circle\)\.$"),
    (lambda: Circle(1, "a", 2), r"Too many arguments.*argument #3, calling Shapes::Circle::Circle"),
    (lambda: Rectangle(1, 1, "x", "mauve"),
     r"Unknown color 'mauve'.*\(argument #4, calling Shapes::Rectangle::Rectangle\)\.$"),
    (lambda: setattr(Circle(1), "Color", "mauve"),
     r"Unknown color 'mauve'.*calling Shapes::Circle::Color"),
    (lambda: Circle(1).Move("east", 0), r"argument #1, calling Shapes::Circle::Move"),
    (lambda: Circle(1).Rotate(), "Shapes::Circle::Rotate"),
    (lambda: Script.Fail("out of paint"), "^out of paint$"),
])
def test_bad_calls_raise_script_errors_naming_the_argument(call, error):
    with pytest.raises(velmorand.ScriptError, match=error):
        call()


def test_defaults_properties_methods_and_outputs():
    # None takes an optional argument's default; trailing Nones are no arguments.
    assert (Circle(0.5).Name, Circle(1, None, None).Name) == ("circle", "circle")
    assert Rectangle(1, 1, "x", None).Color == "black"
    wheel = Circle(2, "wheel")
    wheel.Radius, wheel.Name, wheel.Color = 3, "r\u00e4d \u20ac \U0001F600", "yellow"
    assert (wheel.Radius, wheel.Name, wheel.Color) == (3.0, "r\u00e4d \u20ac \U0001F600", "yellow")
    assert wheel.Area == pytest.approx(28.274333882308138)
    with pytest.raises(AttributeError, match="no function named 'Area'"):
        wheel.Area = 1
    assert not hasattr(wheel, "Diameter")
    door = Rectangle(1, 2.5, "door", "#8b4513")
    assert (door.GetSize(), door.IsSquare(), door.Move(4, 0)) == ((1.0, 2.5), False, None)
    door.Move(2**40, 0)  # an int beyond 32 bits travels as a double, exactly for this one
    assert (door.X, door.Y) == (float(2**40 + 4), 0.0)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # the precision warning: test_runtime.py
        wheel.Scale(2.5)
    assert wheel.Radius == 6.0
    describe = door.Describe  # a method kept for later stays bound to its object
    del door
    assert describe().startswith("rectangle 'door'")
    assert (Circle.Unit().Radius, Circle.FromDiameter(8).Radius) == (1.0, 4.0)
    assert Circle(3).FromDiameter(2).Radius == 1.0


def test_objects_share_their_native_value_and_release_their_references():
    wheel = Circle(1, "wheel")
    same = Script.Echo(wheel)  # a new Python object for the same native object
    same.Name = "tyre"
    assert wheel.Name == "tyre"
    del same
    references = sys.getrefcount(Circle), sys.getrefcount(wheel)
    for _ in range(50):
        Script.Echo(wheel)
        wheel.Describe()
        Circle(2)
        Circle.Unit()
    assert (sys.getrefcount(Circle), sys.getrefcount(wheel)) == references


@pytest.mark.parametrize("value, native", [
    (True, "bool"), (2**31 - 1, "long"), (-2**31, "long"), (2**31, "double"),
    (-2**31 - 1, "double"), (1.0, "double"), ("text", "String"), (Canvas(), "Shapes::Canvas")])
def test_python_values_reach_native_code_in_their_native_forms(value, native):
    assert Script.TypeOf(value) == native


def test_values_come_back_in_their_python_forms():
    for value in (True, False, 7, -2**31, 2.5, "\u00e9\U0001F600"):
        assert (type(Script.Echo(value)), Script.Echo(value)) == (type(value), value)
    assert (Script.Echo(2**31), Script.Echo(None)) == (2.0**31, None)
    assert Script.Name() == "python (Python)"
    with pytest.raises(OverflowError):
        Script.Echo(10**400)
    with pytest.raises(TypeError, match="keyword"):
        Script.Echo(value=1)
