"""Type stubs (.pyi) of the classes of application modules, for mypy and editors.

    python3 -m velmorand stubs libVelmorandShapes.so -o typings
    MYPYPATH=typings python3 -m mypy --strict my_script.py

writes typings/velmorand/__init__.pyi (the package's own functions and exceptions, the classes
without a namespace) and one file per namespace: velmorand/Shapes.pyi, or for nested
namespaces velmorand/A/__init__.pyi and velmorand/A/B.pyi. The facts come from
velmorand._describe(), the ones velmorand-lua --annotations writes for Lua.
"""

import argparse
import ast
import keyword
import os
import re
import sys
import typing

import velmorand

Description = typing.Dict[str, typing.Any]

# The package's own names; other public names of the package are written from what they are.
_PACKAGE_FUNCTIONS = {
    "load_module": "def load_module(file: str | os.PathLike[str]) -> None: ...",
    "check": "def check() -> None: ...",
    "get_class": "def get_class(name: str) -> type[_typing.Any]: ...",
    "classes": "def classes() -> _typing.Sequence[VelmorandScript.Class]: ...",
    "find_class": "def find_class(name: str) -> VelmorandScript.Class | None: ...",
    "style_name": "def style_name(style: int) -> str: ...",
    "module_directories": "def module_directories() -> list[str]: ...",
    "find_module": "def find_module(file: str | os.PathLike[str]) -> str: ...",
}

# The collections native code hands back: the sequence and mapping protocols over the native
# array or hash.
_PACKAGE_CLASSES = {
    "Array": [
        "class Array(_typing.Sequence[_typing.Any]):",
        "    def __len__(self) -> int: ...",
        "    @_typing.overload",
        "    def __getitem__(self, index: int) -> _typing.Any: ...",
        "    @_typing.overload",
        "    def __getitem__(self, index: slice) -> list[_typing.Any]: ...",
        "    def __setitem__(self, index: int, item: _typing.Any) -> None: ...",
        "    def __delitem__(self, index: int) -> None: ...",
        "    def append(self, item: _typing.Any) -> None: ...",
        "    def insert(self, index: int, item: _typing.Any) -> None: ...",
        "    def clear(self) -> None: ...",
    ],
    "Hash": [
        "class Hash(_typing.Mapping[str, _typing.Any]):",
        "    def __len__(self) -> int: ...",
        "    def __getitem__(self, key: str) -> _typing.Any: ...",
        "    def __iter__(self) -> _typing.Iterator[str]: ...",
        "    def __setitem__(self, key: str, value: _typing.Any) -> None: ...",
        "    def __delitem__(self, key: str) -> None: ...",
    ],
}

_HEADER = ("# Written by `python3 -m velmorand stubs` from the registered classes; write it again\n"
           "# when the modules change.\n")


def _identifier(name: str) -> bool:
    return name.isidentifier() and not keyword.iskeyword(name)


def _parameter(name: str, position: int, taken: "set[str]") -> str:
    """A parameter name Python takes, unique among `taken`: argN for none, keywords with "_"."""
    result = re.sub(r"\W", "_", name) or f"arg{position + 1}"
    if result[0].isdigit():
        result = "_" + result
    while keyword.iskeyword(result) or result in taken:
        result += "_"
    taken.add(result)
    return result


class _Writer:
    """The stub text of one namespace (a tuple of name parts; () for the package itself)."""

    def __init__(self, namespace: "tuple[str, ...]") -> None:
        self.namespace = namespace
        self.imports: "set[str]" = set()
        self.lines: "list[str]" = []

    def type_of(self, entry: Description, result: bool = False) -> str:
        """The annotation of a described type: classes by name (qualified when they live in
        another namespace), arrays and hashes native code gives back (`result`) as
        velmorand.Array and velmorand.Hash, the rest as PythonTypeName names them."""
        name = entry["type"]
        collection = {"list": "Array", "dict": "Hash"}.get(name)
        if result and collection and hasattr(velmorand, collection):
            if self.namespace:
                self.imports.add("velmorand")
                return "velmorand." + collection
            return collection
        script_class = entry.get("class")
        if script_class and script_class.split("::")[-1] == name:
            parts = script_class.split("::")
            if tuple(parts[:-1]) == self.namespace:
                return name
            module = ".".join(["velmorand"] + parts[:-1])
            self.imports.add(module)
            return f"{module}.{name}"
        name = {"dict": "dict[Any, Any]", "list": "list[Any]"}.get(name, name)
        return re.sub(r"\b(Any|Callable|Sequence)\b", r"_typing.\1", name)

    def results(self, function: Description) -> str:
        types = [self.type_of(result, True) for result in function["results"]]
        if not types:
            return "None"
        return types[0] if len(types) == 1 else "tuple[" + ", ".join(types) + "]"

    def default(self, argument: Description, annotation: str) -> str:
        """The script's default as a Python literal when it is one of the argument's type;
        else "..."."""
        text = argument["default"]
        literal: object = {"true": True, "false": False}.get(text, None)
        if literal is None:
            try:
                literal = ast.literal_eval(text)
            except (ValueError, SyntaxError, TypeError, MemoryError, RecursionError):
                return "..."
        expected = {"str": str, "int": int, "float": (int, float), "bool": bool}.get(annotation)
        if expected is None or not isinstance(literal, expected) or \
                (annotation != "bool" and isinstance(literal, bool)):
            return "..."
        return repr(literal)

    def function(self, indent: str, name: str, function: Description, kind: str) -> None:
        """Writes one def: kind is "method", "static" or "constructor"."""
        note = function["deprecated"]
        description = function["description"]
        if kind == "static":
            self.lines.append(indent + "@staticmethod")
        taken = {"self"}
        parameters = [] if kind == "static" else ["self"]
        result = "None" if kind == "constructor" else self.results(function)
        if note and not function["arguments"] and not function["results"]:
            # A deprecated descriptor declares nothing: a rename runs with what it is given.
            parameters.append("*args: _typing.Any")
            result = "_typing.Any"
        else:
            arguments = function["arguments"]
            # Defaults only on a trailing run of optional arguments: Python wants it so.
            first_default = len(arguments)
            while first_default > 0 and arguments[first_default - 1]["optional"]:
                first_default -= 1
            for position, argument in enumerate(arguments):
                annotation = self.type_of(argument)
                text = _parameter(argument["name"], position, taken) + ": " + annotation
                if argument["optional"]:
                    # None takes the default too.
                    text += " | None"
                if position >= first_default:
                    text += " = " + self.default(argument, annotation)
                parameters.append(text)
            if arguments:
                parameters.append("/")  # the host takes no keyword arguments
        self.lines.append(f"{indent}def {name}({', '.join(parameters)}) -> {result}:")
        doc = "\n".join(text for text in (description, note) if text)
        self.lines.append(indent + "    " + (repr(doc) if doc else "..."))

    def write_class(self, described: Description) -> None:
        parts = described["name"].split("::")
        name = parts[-1]
        if not _identifier(name):
            self.lines += ["", f"# {described['name']}: no Python name; use velmorand.get_class."]
            return
        base = self.type_of({"type": described["base"].split("::")[-1],
                             "class": described["base"]}) if described["base"] else ""
        self.lines += ["", f"class {name}{'(' + base + ')' if base else ''}:"]
        self.lines.append(f"    {repr(described['name'])}")
        written: "set[str]" = set()
        for member in described["properties"]:
            if not _identifier(member["name"]) or member["name"] in written:
                continue
            written.add(member["name"])
            annotation = self.type_of(member, member["readable"])
            if member["readable"] and not member["writable"]:
                self.lines += ["    @property", f"    def {member['name']}(self) -> {annotation}:",
                               "        " + (repr(member["deprecated"]) if member["deprecated"]
                                             else "...")]
            else:
                self.lines.append(f"    {member['name']}: {annotation}")
        if described["constructor"]:
            self.function("    ", "__init__", described["constructor"], "constructor")
        for kind, members in (("method", described["methods"]), ("static", described["statics"])):
            for member in members:
                if _identifier(member["name"]) and member["name"] not in written:
                    written.add(member["name"])
                    self.function("    ", member["name"], member, kind)

    def text(self, extra: "list[str]") -> str:
        imports = ["import os", "import typing as _typing"]
        imports += [f"import {module}" for module in sorted(self.imports)]
        return _HEADER + "\n".join(imports + extra + self.lines) + "\n"


def _package_lines() -> "list[str]":
    """The package's own names: the known functions, and exceptions and other public names
    as the running package has them."""
    lines = []
    for name in sorted(velmorand.__all__):
        value = getattr(velmorand, name)
        if name in _PACKAGE_FUNCTIONS:
            lines.append(_PACKAGE_FUNCTIONS[name])
        elif name in _PACKAGE_CLASSES:
            lines += _PACKAGE_CLASSES[name]
        elif isinstance(value, type) and issubclass(value, BaseException):
            base = value.__bases__[0]
            base_name = base.__name__ if base.__module__ == "builtins" else base.__qualname__
            lines.append(f"class {name}({base_name}): ...")
        elif isinstance(value, type):
            lines += [f"class {name}:", "    def __getattr__(self, name: str) -> _typing.Any: ..."]
        elif callable(value):
            lines.append(f"def {name}(*args: _typing.Any, **kwargs: _typing.Any) -> _typing.Any: ...")
        else:
            lines.append(f"{name}: _typing.Any")
    return lines


def write_stubs(directory: str) -> "list[str]":
    """Writes the stubs of the registered classes under directory/velmorand; returns the files
    written."""
    velmorand.check()
    namespaces: "dict[tuple[str, ...], list[Description]]" = {(): []}
    for described in velmorand._velmorand._describe():
        parts = tuple(described["name"].split("::"))[:-1]
        if not all(_identifier(part) for part in parts):
            continue  # reachable through velmorand.get_class only
        for count in range(len(parts) + 1):
            namespaces.setdefault(parts[:count], [])
        namespaces[parts].append(described)
    written = []
    for namespace, members in sorted(namespaces.items()):
        writer = _Writer(namespace)
        children = sorted({other[len(namespace)] for other in namespaces
                           if len(other) > len(namespace) and other[:len(namespace)] == namespace})
        for described in members:
            writer.write_class(described)
        extra = [f"from . import {child} as {child}" for child in children]
        if not namespace:
            extra += [""] + _package_lines()
        folder = os.path.join(directory, "velmorand", *namespace)
        if namespace and not children:
            folder, file = os.path.split(folder)
            file = os.path.join(folder, file + ".pyi")
        else:
            file = os.path.join(folder, "__init__.pyi")
        os.makedirs(os.path.dirname(file), exist_ok=True)
        with open(file, "w", encoding="utf-8") as out:
            out.write(writer.text(extra))
        written.append(file)
    return written


def main(arguments: "list[str]") -> int:
    parser = argparse.ArgumentParser(prog="python3 -m velmorand")
    commands = parser.add_subparsers(dest="command", required=True)
    stubs = commands.add_parser("stubs", help="write .pyi stubs of the modules' classes")
    stubs.add_argument("modules", nargs="+", metavar="MODULE.so",
                       help="application modules to load (a bare file name is searched for)")
    stubs.add_argument("-o", "--output", default=".", metavar="DIR",
                       help="where the folder velmorand/ of stubs goes (default: .)")
    options = parser.parse_args(arguments)
    try:
        for module in options.modules:
            velmorand.load_module(module)
        files = write_stubs(options.output)
    except velmorand.ScriptError as error:
        print(f"velmorand stubs: {error}", file=sys.stderr)
        return 1
    for file in files:
        print(file)
    return 0
