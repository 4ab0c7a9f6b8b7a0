#!/usr/bin/env python3
"""Runs every test program of a build under valgrind memcheck.

Each program registered with ctest runs once, with all its tests, in the working folder and
environment ctest gives it. A program fails when valgrind finds any error or any definitely or
indirectly lost block. Logs go to <build>/memcheck/<program>.log.

    tools/memcheck.py <build folder> [--jobs N] [--exclude REGEX]
"""

import argparse
import concurrent.futures
import json
import os
import re
import subprocess
import sys
from pathlib import Path

VALGRIND = [
    "valgrind",
    "--tool=memcheck",
    "--error-exitcode=99",
    "--leak-check=full",
    "--show-leak-kinds=definite,indirect",
    "--errors-for-leak-kinds=definite,indirect",
    "--num-callers=30",
    f"--suppressions={Path(__file__).resolve().parent / 'valgrind.supp'}",
]


# Tests whose retained memory is lost by design once they unload the library: each round of the
# unload loop with the sample module keeps that round's class registry, which is never destroyed.
TEST_FILTERS = {
    "unload_test": ["--gtest_filter=-*WithTheSampleModule*"],
}


def programs_of(build: Path, exclude: str | None):
    """One entry per test program, named after it: (command, working folder, environment).

    A test program runs once with all its tests. A test that a driver runs (cmake -P running a
    Lua script in velmorand-lua) runs as its own entry, named after the test, with valgrind
    following the driver into the program it starts; so does a test that python3 runs (the
    Python host's suites), under valgrind as it is.
    """
    listing = subprocess.run(
        ["ctest", "--test-dir", str(build), "--show-only=json-v1"],
        check=True, capture_output=True, text=True).stdout
    programs = {}
    for test in json.loads(listing)["tests"]:
        command = test["command"]
        executable = command[0]
        driven = Path(executable).name == "cmake"
        interpreted = Path(executable).name.startswith("python")
        name = test["name"] if driven or interpreted else Path(executable).name
        if name in programs or (exclude and re.search(exclude, executable)):
            continue
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        environment = dict(os.environ)
        for setting in properties.get("ENVIRONMENT", []):
            variable, _, value = setting.partition("=")
            environment[variable] = value
        if interpreted:
            # Python's own allocator hides our blocks from valgrind; plain malloc shows them.
            environment["PYTHONMALLOC"] = "malloc"
        elif driven:
            command = ["--trace-children=yes"] + command
        else:
            command = [executable] + TEST_FILTERS.get(name, [])
        programs[name] = (command, properties.get("WORKING_DIRECTORY", str(build)), environment)
    return programs


def run(name: str, command: list, workdir: str, environment: dict, logs: Path):
    log = logs / (name + ".log")
    with open(log, "w") as out:
        result = subprocess.run(VALGRIND + command, cwd=workdir, env=environment,
                                stdout=out, stderr=subprocess.STDOUT)
    return name, result.returncode, log


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=Path)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--exclude", help="skip programs whose path matches this expression")
    options = parser.parse_args()

    logs = options.build / "memcheck"
    logs.mkdir(exist_ok=True)
    programs = programs_of(options.build, options.exclude)
    if not programs:
        print("memcheck: no test programs found", file=sys.stderr)
        return 1
    failed = []
    with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
        runs = [pool.submit(run, name, command, workdir, environment, logs)
                for name, (command, workdir, environment) in sorted(programs.items())]
        for finished in concurrent.futures.as_completed(runs):
            name, code, log = finished.result()
            if code == 0:
                print(f"memcheck: {name}: clean")
                continue
            failed.append(name)
            reason = "valgrind errors or leaks" if code == 99 else f"tests failed (exit {code})"
            print(f"memcheck: {name}: {reason}, see {log}", file=sys.stderr)
            text = log.read_text(errors="replace")
            summary = [line for line in text.splitlines()
                       if re.search(r"ERROR SUMMARY|definitely lost|indirectly lost|FAILED", line)]
            print("\n".join(summary[:12]), file=sys.stderr)
    print(f"memcheck: {len(programs) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
