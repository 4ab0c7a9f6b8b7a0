"""Class types as Python sees them: descriptors in the type's dictionary, introspection, and
the typed way of calling, which must give exactly what the general way gives."""

import inspect
import pydoc
import warnings

import pytest

import velmorand

_native = getattr(velmorand, "_velmorand", velmorand)
Circle = velmorand.get_class("Shapes::Circle")
Rectangle = velmorand.get_class("Shapes::Rectangle")
Canvas = velmorand.get_class("Shapes::Canvas")
Script = velmorand.get_class("Shapes::Script")


def test_members_are_descriptors_that_python_finds_and_lists():
    wheel = Circle(2, "wheel")
    for name in ("Radius", "Name", "Move", "Describe", "FromDiameter", "Unit"):
        assert name in dir(Circle) and name in dir(wheel)
    # Method descriptors: Python calls them without making a bound method.
    assert type(Circle.Move).__flags__ & (1 << 17)
    assert Circle.Move(wheel, 1, 2) is None and (wheel.X, wheel.Y) == (1.0, 2.0)
    assert wheel.FromDiameter(4).Radius == 2.0
    with pytest.raises(TypeError, match=r"Move is a method: call it on a Shapes::Circle object "
                                        r"\(got Shapes::Rectangle\)"):
        Circle.Move(Rectangle(1, 1), 1, 2)
    # No instance dictionary: a misspelt property fails.
    with pytest.raises(AttributeError, match="Shapes::Circle has no property named 'Radiuss'"):
        wheel.Radiuss = 1
    with pytest.raises(AttributeError, match="Diameter"):
        wheel.Diameter
    with pytest.raises(AttributeError, match="no function named 'Kind'"):
        wheel.Kind = "square"
    with pytest.raises(AttributeError, match="delete"):
        del wheel.Radius


def test_signatures_and_help_texts():
    assert str(inspect.signature(Circle.Move)) == "(self, dx, dy, /)"
    assert str(inspect.signature(Circle(1).Move)) == "(dx, dy, /)"
    assert str(inspect.signature(Circle.FromDiameter)) == "(diameter, /)"
    assert str(inspect.signature(Circle)) == "(radius, name='circle', /)"
    assert Circle.Move.__doc__ == "Move(dx: float, dy: float) -> None"
    assert Rectangle.GetSize.__doc__.startswith("GetSize() -> tuple[float, float]")
    assert Circle.FromDiameter.__doc__.startswith("FromDiameter(diameter: float) -> Circle")
    assert Canvas.Add.__doc__.startswith("Add(shape: Shape)")
    assert Circle.Radius.__doc__.startswith("Radius: float")
    assert "read-only" in Circle.Area.__doc__
    assert "Deprecated" in Circle.Description.__doc__
    text = pydoc.render_doc(Circle, renderer=pydoc.plaintext)
    assert "Move(self, dx, dy, /)" in text and "Radius: float" in text


def _outcome(call):
    """What a call gives: its result (objects by their class and a property) or its error, and
    the warnings it raised."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            result = call()
        except Exception as error:  # noqa: BLE001 - the errors are what is compared
            result = (type(error).__name__, str(error))
    if isinstance(result, Circle):
        result = ("Circle", result.Radius)
    return type(result).__name__, result, [str(warning.message) for warning in caught]


OTHER = Canvas("other")
CASES = [
    *[(lambda: Circle(1), "Move", args) for args in [
        (1, 2), (2**31 - 1, -2**31), (2**31, 0), (2**63, 1), (10**400, 0), (1.5, -0.25),
        (True, 0), ("1", 0), (None, 0), (1,), (1, 2, 3), (1, None), (OTHER, 0)]],
    *[(lambda: Circle(1), "Scale", args) for args in [
        (2,), (2**31,), (-2**31,), (2.5,), (True,), ("2",), (None,), (), (1, 2)]],
    *[(lambda: Canvas(), "Add", args) for args in [
        (Circle(1),), (Rectangle(1, 2),), (OTHER,), (None,), (1,), ()]],
    *[(lambda: Script, name, args) for name in ("Int", "Byte") for args in [
        (7,), (2**31 - 1,), (2**31,), (-1,), (300,), (1.5,), (True,), ("3",), (None,)]],
    *[(lambda: Circle, "FromDiameter", args) for args in [
        (8,), (2.5,), (2**40,), ("8",), (False,), (None,), ()]],
    *[(lambda: Circle, "__call__", args) for args in [
        (2,), (2**31, "big"), ("2",), (None,), (), (1, "a", 2), (1, 2)]],
    # Deprecations are followed on every call: each call of the renamed Description warns.
    *[(lambda: Circle(1), name, args) for name, args in [
        ("Description", ()), ("Description", ()), ("Rotate", ()), ("Resize", (2,))]],
]
SETS = [("Radius", value) for value in (2, 2.5, 2**40, True, "x", None)] + \
       [("Name", value) for value in ("n\u00e4me \U0001F600", 1, None, True)]


def _run_all():
    outcomes = []
    for make, name, args in CASES:
        target = make()
        outcomes.append((name, args, _outcome(lambda: getattr(target, name)(*args)),
                         (target.X, target.Y, target.Radius) if isinstance(target, Circle) else
                         target.Count if isinstance(target, Canvas) else None))
    for name, value in SETS:
        wheel = Circle(1)
        outcomes.append((name, value, _outcome(lambda: setattr(wheel, name, value)),
                         _outcome(lambda: getattr(wheel, name))))
    return outcomes


def test_typed_and_general_calls_give_the_same_outcomes():
    typed_before = _native._set_typed_calls(True)
    typed = _run_all()
    typed_calls = _native._set_typed_calls(False) - typed_before
    try:
        general = _run_all()
        assert _native._set_typed_calls(False) == typed_before + typed_calls
    finally:
        _native._set_typed_calls(True)
    assert typed_calls > len(CASES) // 2  # the typed way was taken
    assert all(outcome[2][2] for outcome in typed if outcome[0] == "Description")
    for typed_outcome, general_outcome in zip(typed, general):
        assert typed_outcome == general_outcome
