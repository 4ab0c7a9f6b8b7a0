"""The package around the extension: namespaces of class script names and the module search."""

import importlib
import os
import subprocess
import sys

import pytest

import velmorand


def test_namespaces_present_the_classes_by_their_script_names():
    from velmorand.Shapes import Canvas, Circle
    import velmorand.Shapes as shapes

    assert Circle is velmorand.get_class("Shapes::Circle") is shapes.Circle
    assert Canvas is velmorand.Shapes.Canvas
    assert {"Circle", "Rectangle", "Script"} <= set(dir(shapes))
    assert "Shapes" in dir(velmorand)
    # The host's own classes live in a nested namespace.
    from velmorand.VelmorandScript import Class

    assert Class is velmorand.get_class("VelmorandScript::Class")
    with pytest.raises(AttributeError, match="namespace Shapes has no class or namespace named "
                                             "'Hexagon'"):
        shapes.Hexagon
    with pytest.raises(ImportError):
        from velmorand.Shapes import Hexagon  # noqa: F401
    with pytest.raises(ModuleNotFoundError):
        importlib.import_module("velmorand.Polygons")
    with pytest.raises(AttributeError, match="velmorand has no class or namespace named 'Nope'"):
        velmorand.Nope


def test_a_bare_file_name_is_searched_for_and_a_path_is_taken_as_it_is(shapes_module, tmp_path):
    found = velmorand.find_module("libVelmorandShapes.so")
    # The build tree's package knows the sample module's folder.
    assert os.path.samefile(found, shapes_module)
    assert os.path.dirname(found) in velmorand.module_directories()
    assert velmorand.find_module("./libVelmorandShapes.so") == "./libVelmorandShapes.so"
    # Not found anywhere: the system's search has the last word, and the error names the file.
    assert velmorand.find_module("libNoSuchModule.so") == "libNoSuchModule.so"
    with pytest.raises(velmorand.ScriptError, match="libNoSuchModule.so"):
        velmorand.load_module("libNoSuchModule.so")
    velmorand.load_module(found)  # again: nothing is registered twice


def test_the_stubs_command_reports_what_it_cannot_load(tmp_path):
    result = subprocess.run([sys.executable, "-m", "velmorand", "stubs", "libNoSuchModule.so",
                             "-o", str(tmp_path)], capture_output=True, text=True)
    assert result.returncode == 1 and not (tmp_path / "velmorand").exists()
    assert result.stderr.startswith("velmorand stubs: ") and "libNoSuchModule.so" in result.stderr
    usage = subprocess.run([sys.executable, "-m", "velmorand"], capture_output=True, text=True)
    assert usage.returncode == 2 and "stubs" in usage.stderr
