"""The stubs of `python3 -m velmorand stubs` against the registry they are written from."""

import ast
import importlib.util
import keyword
import os
import pathlib
import subprocess
import sys

import pytest

import velmorand


@pytest.fixture(scope="module")
def stubs(tmp_path_factory, shapes_module):
    directory = tmp_path_factory.mktemp("stubs")
    subprocess.run([sys.executable, "-m", "velmorand", "stubs", shapes_module, "-o",
                    str(directory)], check=True, stdout=subprocess.DEVNULL)
    return directory


def stub_classes(directory):
    """{"Shapes::Circle": {member: [parameter names]}} of every class in the stub files."""
    classes = {}
    for folder, _, files in os.walk(directory / "velmorand"):
        for file in files:
            relative = os.path.relpath(os.path.join(folder, file), directory / "velmorand")
            namespace = [] if file == "__init__.pyi" and folder.endswith("velmorand") else \
                relative.removesuffix("/__init__.pyi").removesuffix(".pyi").split("/")
            with open(os.path.join(folder, file), encoding="utf-8") as text:
                tree = ast.parse(text.read())
            for node in tree.body:
                if isinstance(node, ast.ClassDef):
                    members = classes.setdefault("::".join(namespace + [node.name]), {})
                    for member in node.body:
                        if isinstance(member, ast.FunctionDef):
                            arguments = member.args.posonlyargs + member.args.args
                            members[member.name] = [a.arg for a in arguments]
                        elif isinstance(member, ast.AnnAssign):
                            members[member.target.id] = []
    return classes


def test_every_class_member_and_argument_of_the_registry_is_in_the_stubs(stubs):
    written = stub_classes(stubs)
    for described in velmorand._velmorand._describe():
        members = written[described["name"]]
        # Names Python cannot write (keywords) stay reachable through getattr only.
        members.update({name: None for name in keyword.kwlist})
        for function in described["methods"] + described["statics"]:
            if members[function["name"]] is None:
                continue
            names = [argument["name"] for argument in function["arguments"]]
            assert members[function["name"]] == (["self"] if function in described["methods"]
                                                 else []) + names, function["name"]
        for prop in described["properties"]:
            assert prop["name"] in members
        if described["constructor"]:
            assert members["__init__"] == ["self"] + [
                argument["name"] for argument in described["constructor"]["arguments"]]
        base = described["base"]
        assert base is None or base in written
    assert "ScriptError" in written  # the package's own exceptions


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")
def test_mypy_accepts_right_uses_and_the_tour_and_finds_wrong_uses(stubs, tmp_path):
    (tmp_path / "uses.py").write_text(
        "import velmorand\nfrom velmorand.Shapes import Canvas, Circle, Rectangle\n"
        "velmorand.load_module('libVelmorandShapes.so')\n"
        "wheel = Circle(2)\nwheel.Radius = 3.5\nwidth, height = Rectangle(1, 2, None).GetSize()\n"
        "canvas = Canvas('garden')\ncanvas.Add(wheel)\narea: float = canvas.TotalArea + width\n"
        "unit: Circle = velmorand.Shapes.Circle.Unit()\n"
        "wrong = Circle('two')\nwheel.Area = 1.0\nwheel.Spin()\ncount: str = canvas.Count\n"
        "wheel.Move(1)\n")
    tour = pathlib.Path(__file__).parents[3] / "examples" / "shapes.py"
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
         str(tmp_path / "uses.py"), str(tour)],
        env=dict(os.environ, MYPYPATH=str(stubs)), capture_output=True, text=True)
    errors = [os.path.basename(line.split(": error: ")[0])
              for line in result.stdout.splitlines() if ": error: " in line]
    # Exactly the five wrong lines at the end, and nothing before them nor in the tour.
    assert errors == ["uses.py:11", "uses.py:12", "uses.py:13", "uses.py:14", "uses.py:15"], \
        result.stdout
