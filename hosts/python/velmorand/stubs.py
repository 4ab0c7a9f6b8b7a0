"""Type stubs (.pyi) of the classes of application modules."""


def main(arguments: "list[str]") -> int:
    print("velmorand stubs: not written yet", file=__import__("sys").stderr)
    return 1
