"""The velmorand module against the sample module of shapes.

Runs under pytest and under `python3 -m unittest`. VELMORAND_SHAPES_MODULE names the sample
module's file (libVelmorandShapes.so); PYTHONPATH must reach the velmorand extension module.
"""

import os
import sys
import unittest

import velmorand

SHAPES_MODULE = os.environ.get("VELMORAND_SHAPES_MODULE", "libVelmorandShapes.so")


def setUpModule():
    velmorand.load_module(SHAPES_MODULE)
    velmorand.check()


class ModuleTest(unittest.TestCase):
    def test_loading_and_lookup_errors_raise_script_error(self):
        self.assertTrue(issubclass(velmorand.ScriptError, Exception))
        with self.assertRaisesRegex(velmorand.ScriptError, "no-such-module.so"):
            velmorand.load_module("/nonexistent/no-such-module.so")
        with self.assertRaisesRegex(velmorand.ScriptError, r"^Unknown class Shapes::Hexagon\.$"):
            velmorand.get_class("Shapes::Hexagon")
        # Loading a module again registers nothing twice.
        velmorand.load_module(SHAPES_MODULE)
        velmorand.check()

    def test_classes_are_types_made_once_that_follow_the_class_chain(self):
        circle = velmorand.get_class("Shapes::Circle")
        shape = velmorand.get_class("Shapes::Shape")
        self.assertIs(circle, velmorand.get_class("Shapes::Circle"))
        self.assertTrue(issubclass(circle, shape))
        self.assertEqual(circle.__name__, "Shapes::Circle")
        wheel = circle(2, "wheel")
        self.assertIsInstance(wheel, shape)
        # An object a function returns is an instance of its own class's type.
        canvas = velmorand.get_class("Shapes::Canvas")("garden")
        canvas.Add(wheel)
        canvas.Add(velmorand.get_class("Shapes::Rectangle")(5, 4))
        self.assertIs(type(canvas.Largest()), velmorand.get_class("Shapes::Rectangle"))


class ShapesTest(unittest.TestCase):
    def setUp(self):
        self.Circle = velmorand.get_class("Shapes::Circle")
        self.Rectangle = velmorand.get_class("Shapes::Rectangle")

    def test_constructor_defaults_and_argument_errors(self):
        self.assertEqual(self.Circle(0.5).Name, "circle")
        with self.assertRaises(velmorand.ScriptError) as raised:
            self.Circle()
        self.assertEqual(
            str(raised.exception),
            "Missing argument 'radius' (argument #1, calling Shapes::Circle::Circle).")
        with self.assertRaisesRegex(velmorand.ScriptError,
                                    r"Too many arguments.*argument #3, calling "
                                    r"Shapes::Circle::Circle"):
            self.Circle(1, "a", 2)
        # None takes an optional argument's default; trailing Nones are no arguments.
        self.assertEqual(self.Rectangle(1, 1, "x", None).Color, "black")
        self.assertEqual(self.Circle(1, None, None).Name, "circle")
        with self.assertRaisesRegex(velmorand.ScriptError,
                                    r"Unknown color 'mauve'.*\(argument #4, calling "
                                    r"Shapes::Rectangle::Rectangle\)\.$"):
            self.Rectangle(1, 1, "x", "mauve")

    def test_properties_read_and_write(self):
        wheel = self.Circle(2, "wheel")
        self.assertEqual(wheel.Radius, 2.0)
        wheel.Radius = 3
        self.assertAlmostEqual(wheel.Area, 28.274333882308138)
        wheel.Name = "r\u00e4d \u20ac \U0001F600"
        self.assertEqual(wheel.Name, "r\u00e4d \u20ac \U0001F600")
        # Inherited from Shapes::Shape, through a conversion of the module's.
        wheel.Color = "yellow"
        self.assertEqual(wheel.Color, "yellow")
        with self.assertRaisesRegex(velmorand.ScriptError,
                                    r"Unknown color 'mauve'.*calling Shapes::Circle::Color"):
            wheel.Color = "mauve"
        with self.assertRaisesRegex(AttributeError, "no function named 'Area'"):
            wheel.Area = 1
        with self.assertRaises(AttributeError):
            wheel.Diameter
        self.assertFalse(hasattr(wheel, "Diameter"))

    def test_methods_outputs_and_number_conversions(self):
        door = self.Rectangle(1, 2.5, "door", "#8b4513")
        self.assertEqual(door.GetSize(), (1.0, 2.5))
        self.assertIs(door.IsSquare(), False)
        self.assertIsNone(door.Move(4, 0))
        self.assertEqual((door.X, door.Y), (4.0, 0.0))
        # An int beyond 32 bits travels as a double, exactly for this one.
        door.Move(2**40, 0)
        self.assertEqual(door.X, float(2**40 + 4))
        # An int parameter given 2.5 takes 2, after a warning (test_runtime.py).
        unit = self.Circle(1)
        unit.Scale(2.5)
        self.assertEqual(unit.Radius, 2.0)
        with self.assertRaisesRegex(velmorand.ScriptError,
                                    r"argument #1, calling Shapes::Circle::Move"):
            unit.Move("east", 0)
        # A method may be kept and called later; it stays bound to its object.
        describe = door.Describe
        del door
        self.assertTrue(describe().startswith("rectangle 'door'"))

    def test_static_functions_on_the_type(self):
        self.assertEqual(self.Circle.Unit().Radius, 1.0)
        self.assertEqual(self.Circle.FromDiameter(8).Radius, 4.0)
        self.assertEqual(self.Circle(3).FromDiameter(2).Radius, 1.0)

    def test_objects_share_their_native_value_and_release_their_references(self):
        wheel = self.Circle(1, "wheel")
        echo = velmorand.get_class("Shapes::Script").Echo
        # A returned object is a new Python object for the same native object.
        same = echo(wheel)
        same.Name = "tyre"
        self.assertEqual(wheel.Name, "tyre")
        del same
        type_references = sys.getrefcount(self.Circle)
        wheel_references = sys.getrefcount(wheel)
        for _ in range(50):
            echo(wheel)
            wheel.Describe()
            self.Circle(2)
            self.Circle.Unit()
        self.assertEqual(sys.getrefcount(self.Circle), type_references)
        self.assertEqual(sys.getrefcount(wheel), wheel_references)

    def test_deprecated_functions(self):
        coin = self.Circle(0.5, "coin")
        self.assertEqual(coin.Description(), coin.Describe())
        with self.assertRaisesRegex(velmorand.ScriptError, "Shapes::Circle::Rotate"):
            coin.Rotate()


class ValuesTest(unittest.TestCase):
    def setUp(self):
        self.Script = velmorand.get_class("Shapes::Script")

    def test_python_values_reach_native_code_in_their_native_forms(self):
        type_of = self.Script.TypeOf
        # bool before int: Python's bool is an int.
        self.assertEqual(type_of(True), "bool")
        self.assertEqual(type_of(2**31 - 1), "long")
        self.assertEqual(type_of(-2**31), "long")
        self.assertEqual(type_of(2**31), "double")
        self.assertEqual(type_of(-2**31 - 1), "double")
        self.assertEqual(type_of(1.0), "double")
        self.assertEqual(type_of("text"), "String")
        self.assertEqual(type_of(velmorand.get_class("Shapes::Canvas")()), "Shapes::Canvas")

    def test_values_come_back_in_their_python_forms(self):
        echo = self.Script.Echo
        for value in (True, False, 7, -2**31, 2.5, "\u00e9\U0001F600"):
            self.assertEqual((type(echo(value)), echo(value)), (type(value), value))
        self.assertEqual(echo(2**31), 2.0**31)
        self.assertIsNone(echo(None))
        self.assertEqual(self.Script.Name(), "python (Python)")

    def test_native_errors_and_values_without_native_form(self):
        with self.assertRaises(velmorand.ScriptError) as raised:
            self.Script.Fail("out of paint")
        self.assertEqual(str(raised.exception), "out of paint")
        with self.assertRaises(OverflowError):
            self.Script.Echo(10**400)
        with self.assertRaisesRegex(TypeError, "keyword"):
            self.Script.Echo(value=1)


if __name__ == "__main__":
    unittest.main()
