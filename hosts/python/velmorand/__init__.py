"""Native classes of VelmorandScript application modules.

    import velmorand
    velmorand.load_module("libVelmorandShapes.so")
    from velmorand.Shapes import Circle

The extension module velmorand._velmorand does the work; this package adds the search for a
module given by its bare file name and the namespaces of the registered classes.
"""

import os as _os

from . import _velmorand
from ._locations import MODULE_DIRECTORIES as _MODULE_DIRECTORIES
from ._velmorand import ScriptError, check, get_class
from ._velmorand import *  # noqa: F401,F403 - whatever else the extension exports

__all__ = [_name for _name in dir(_velmorand) if not _name.startswith("_")]
if "load_module" not in __all__:
    __all__.append("load_module")


def module_directories() -> "list[str]":
    """The folders load_module searches for a bare file name, in order: the library folder of
    the install this package belongs to, or in the build tree the sample module's folder."""
    here = _os.path.dirname(_os.path.abspath(__file__))
    return [_os.path.normpath(_os.path.join(here, directory)) for directory in _MODULE_DIRECTORIES]


def find_module(file: str) -> str:
    """The path load_module loads for `file`: a path with a slash as it is; a bare file name
    from the first of module_directories() that has it, else the bare name, which the system's
    library search resolves."""
    if "/" in file:
        return file
    for directory in module_directories():
        candidate = _os.path.join(directory, file)
        if _os.path.isfile(candidate):
            return candidate
    return file


def load_module(file: str) -> None:
    """Loads the application module `file` (see find_module) and registers its classes."""
    _velmorand.load_module(find_module(_os.fspath(file)))
