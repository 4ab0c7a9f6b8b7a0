"""A guided tour of the sample module through the Python host, the same as examples/shapes.lua.

Run it from the build tree (a build with -DVELMORAND_BUILD_PYTHON=ON):
    PYTHONPATH=build/release/python python3 examples/shapes.py
Check it with the stubs of the sample module:
    PYTHONPATH=build/release/python python3 -m velmorand stubs libVelmorandShapes.so -o stubs
    MYPYPATH=stubs python3 -m mypy --strict examples/shapes.py
Each step prints what it does; warnings from native code show up as "warning: ...".
"""

import typing
import warnings

import velmorand

# A bare file name: velmorand looks next to its package (the build tree or the install).
velmorand.load_module("libVelmorandShapes.so")

from velmorand.Shapes import Canvas, Circle, Rectangle, Shape  # noqa: E402 (after the load)


def step(title: str) -> None:
    print()
    print("== " + title)


# Warnings (loss of precision, deprecations) are Python warnings of the category
# velmorand.VelmorandWarning, raised where the Python code made the call; show each one.
def show_warning(message: typing.Union[Warning, str], category: typing.Type[Warning],
                 filename: str, lineno: int, file: typing.Optional[typing.TextIO] = None,
                 line: typing.Optional[str] = None) -> None:
    print(f"   warning: {message}")


warnings.showwarning = show_warning
warnings.simplefilter("always", velmorand.VelmorandWarning)

step("Constructors: Shapes.Circle(...) and Shapes.Rectangle(...)")
wheel = Circle(2, "wheel")
door = Rectangle(1, 2.5, "door", "#8b4513")
coin = Circle(0.5)  # the name is optional: "circle"
print("   " + wheel.Describe())
print("   " + door.Describe())
print("   " + coin.Describe())

step("Properties: obj.P reads, obj.P = v writes")
print(f"   wheel.Radius = {wheel.Radius}, wheel.Area = {wheel.Area:.2f}")
wheel.Radius = 3
coin.Name = "coin"
coin.Color = "yellow"
print(f"   after wheel.Radius = 3: area {wheel.Area:.2f}")
print(f"   coin is now {coin.Color} and named {coin.Name}")

step("Instance functions and commands: obj.F(...)")
door.Move(4, 0)
print("   door moved: " + door.Describe())
width, height = door.GetSize()
print(f"   door.GetSize() returns a tuple of its outputs: {width} x {height}")
print(f"   door.IsSquare() = {door.IsSquare()}")

step("Static functions: Shapes.Circle.F(...)")
unit = Circle.Unit()
print(f"   Circle.Unit() has radius {unit.Radius}")
print(f"   Circle.FromDiameter(8) has radius {Circle.FromDiameter(8).Radius}")

step("Conversions: an int parameter given 2.5 warns and uses 2")
# The stubs declare Scale(factor: int) and Move(dx: float, dy: float): mypy flags these two
# calls, so they go through a value of type Any.
loose: typing.Any = 2.5
unit.Scale(loose)
print(f"   unit radius after Scale(2.5): {unit.Radius}")
print('   a text where a number is expected is parsed: Move("1.5", 0)')
loose = "1.5"
unit.Move(loose, 0)
print("   " + unit.Describe())

step("Deprecated functions")
print("   Description() was renamed to Describe(); it warns and runs the new function:")
print(f"   {coin.Description()}")
print("   Rotate() was removed; calling it fails:")
try:
    coin.Rotate()
except velmorand.ScriptError as error:
    print(f"   ScriptError: {error}")

step("A collection: Shapes.Canvas takes Python lists and returns sequences")
canvas = Canvas("garden")
canvas.Add(wheel)
canvas.AddAll([door, coin, unit])
print(f"   canvas.Count = {canvas.Count}")
shapes = canvas.Shapes()
print(f"   canvas.Shapes() is a sequence of {len(shapes)} objects:")
for index, shape in enumerate(shapes, 1):
    print(f"     {index}. {shape.Kind} {shape.Name}")
shapes[0].Name = "big wheel"
print(f"   its items are the canvas's shapes: after shapes[0].Name = ..., wheel.Name is "
      f"{wheel.Name!r}")

step("Callbacks: native code calls Python functions")


def visit(shape: Shape, index: int) -> None:
    print(f"     visiting #{index}: {shape.Name} (perimeter {shape.Perimeter:.2f})")


canvas.ForEach(visit)
round_ones = canvas.Select(lambda shape, index: shape.Kind == "circle")
print(f"   canvas.Select(is a circle) found {len(round_ones)} shapes")

step("Hashes: a Python dict")
canvas.Restyle({"color": "green", "prefix": "garden "})
print(f"   after Restyle: {shapes[1].Name} is {shapes[1].Color}")

step("Errors: bad calls raise exceptions")
# Each of these is a mistake mypy --strict finds with the stubs; through Any they reach the
# host, which raises ScriptError for what native code refuses and AttributeError for no name.
anything: typing.Any = wheel
attempts: typing.List[typing.Callable[[], object]] = [
    lambda: anything.Spin(),
    lambda: typing.cast(typing.Any, Circle)(),
    lambda: typing.cast(typing.Any, canvas).Add(None),
    lambda: anything.Move(1, "far"),
]
for attempt in attempts:
    try:
        attempt()
    except (velmorand.ScriptError, AttributeError) as error:
        print(f"   {type(error).__name__}: {error}")

step("Listings: velmorand.classes(), functions(), arguments()")
for described in velmorand.classes():
    if described.name.startswith("Shapes::"):
        print("   " + described.name + (" : " + described.base if described.base else ""))
rectangle = next(c for c in velmorand.classes() if c.name == "Shapes::Rectangle")
for function in rectangle.functions():
    if function.style == "constructor":
        parts = []
        for argument in function.arguments():
            if argument.style & 4:  # the return value
                break
            text = f"{argument.name}: {argument.script_type}"
            if argument.optional:
                text += f" = {argument.default}"
            parts.append(text)
        print("   constructor Shapes.Rectangle(" + ", ".join(parts) + ")")

print()
print("Tour complete.")
