"""Native classes of VelmorandScript application modules.

    import velmorand
    velmorand.load_module("libVelmorandShapes.so")
    from velmorand.Shapes import Circle

The extension module velmorand._velmorand does the work; this package adds the search for a
module given by its bare file name and the namespaces of the registered classes.
"""

import collections.abc as _collections_abc
import importlib as _importlib
import importlib.abc as _importlib_abc
import importlib.machinery as _machinery
import os as _os
import sys as _sys
import types as _types
import typing as _typing

from . import _velmorand
from ._locations import MODULE_DIRECTORIES as _MODULE_DIRECTORIES
from ._velmorand import Array, Hash, ScriptError, check, get_class
from ._velmorand import *  # noqa: F401,F403 - whatever else the extension exports

# Native arrays and hashes are what their stubs say they are.
_collections_abc.Sequence.register(Array)
_collections_abc.Mapping.register(Hash)

__all__ = sorted({_name for _name in dir(_velmorand) if not _name.startswith("_")} |
                 {"load_module", "module_directories", "find_module"})


def module_directories() -> "list[str]":
    """The folders load_module searches for a bare file name, in order: the library folder of
    the install this package belongs to, or in the build tree the sample module's folder."""
    here = _os.path.dirname(_os.path.abspath(__file__))
    return [_os.path.normpath(_os.path.join(here, directory)) for directory in _MODULE_DIRECTORIES]


def find_module(file: "str | _os.PathLike[str]") -> str:
    """The path load_module loads for `file`: a path with a slash as it is; a bare file name
    from the first of module_directories() that has it, else the bare name, which the system's
    library search resolves."""
    file = _os.fspath(file)
    if "/" in file:
        return file
    for directory in module_directories():
        candidate = _os.path.join(directory, file)
        if _os.path.isfile(candidate):
            return candidate
    return file


def load_module(file: "str | _os.PathLike[str]") -> None:
    """Loads the application module `file` (see find_module) and registers its classes."""
    _velmorand.load_module(find_module(file))


# --- Namespaces ---------------------------------------------------------------------------------
# A class's script name "A::B::C" puts it at velmorand.A.B.C: each namespace is a module made on
# first import (or attribute access) that looks its classes up by name when they are asked
# for, so classes of modules loaded later show up too.


def _namespace_members(prefix: str) -> "tuple[set[str], set[str]]":
    """The classes and the namespaces directly inside the namespace `prefix` ("" for the
    top, else "A::B::")."""
    classes: "set[str]" = set()
    namespaces: "set[str]" = set()
    for name in _velmorand._class_names():
        if name.startswith(prefix):
            rest = name[len(prefix):].split("::")
            (classes if len(rest) == 1 else namespaces).add(rest[0])
    return classes, namespaces


def _resolve(module_name: str, prefix: str, name: str) -> object:
    """The class or namespace `name` in the namespace `prefix`, which `module_name` presents."""
    classes, namespaces = _namespace_members(prefix)
    if name in namespaces:
        return _importlib.import_module(module_name + "." + name)
    if name in classes:
        return get_class(prefix + name)
    where = "velmorand" if not prefix else "namespace " + prefix[:-2]
    raise AttributeError(f"{where} has no class or namespace named {name!r} (load the module "
                         "that registers it first)", name=name)


class _Namespace(_types.ModuleType):
    """The classes of one script namespace, as attributes; nested namespaces are submodules."""

    def __init__(self, name: str) -> None:
        super().__init__(name)
        self.__path__: "list[str]" = []
        self._prefix = name[len(__name__) + 1:].replace(".", "::") + "::"

    def __getattr__(self, name: str) -> object:
        if name.startswith("__"):
            raise AttributeError(name)
        value = _resolve(self.__name__, self._prefix, name)
        if isinstance(value, type):
            setattr(self, name, value)  # a class's type is made once and kept
        return value

    def __dir__(self) -> "list[str]":
        classes, namespaces = _namespace_members(self._prefix)
        return sorted(set(super().__dir__()) | classes | namespaces)


class _NamespaceFinder(_importlib_abc.MetaPathFinder, _importlib_abc.Loader):
    """Imports velmorand.A.B when some class's script name starts with "A::B::"."""

    def find_spec(self, fullname: str, path: object, target: object = None) \
            -> "_typing.Optional[_machinery.ModuleSpec]":
        if not fullname.startswith(__name__ + "."):
            return None
        prefix = fullname[len(__name__) + 1:].replace(".", "::") + "::"
        if not any(name.startswith(prefix) for name in _velmorand._class_names()):
            return None
        return _machinery.ModuleSpec(fullname, self, is_package=True)

    def create_module(self, found: _machinery.ModuleSpec) -> _types.ModuleType:
        return _Namespace(found.name)

    def exec_module(self, module: _types.ModuleType) -> None:
        pass


def __getattr__(name: str) -> object:
    if name.startswith("__"):
        raise AttributeError(name)
    return _resolve(__name__, "", name)


def __dir__() -> "list[str]":
    classes, namespaces = _namespace_members("")
    return sorted(set(globals()) | classes | namespaces)


# After the path finders: a file of the package always comes first.
if not any(isinstance(finder, _NamespaceFinder) for finder in _sys.meta_path):
    _sys.meta_path.append(_NamespaceFinder())
