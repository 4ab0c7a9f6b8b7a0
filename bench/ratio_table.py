#!/usr/bin/env python3
"""Prints the table of benchmark ratios from the JSON files of the benchmark programs.

Every figure is the median CPU time of an operation of the library divided by the median CPU time
of its baseline, both measured in the same run, so that the drift of a shared machine cancels
out; a legend under the table says what each side does per iteration. Usage: ratio_table.py
RESULT.json... (exit status 1 when a goal is missed and --strict is given).
"""

import json
import sys
import textwrap

# (pair, ours, baseline, goal: the highest ratio allowed, or None where the figure is informative,
#  what our side does per iteration, what the baseline does per iteration)
PAIRS = [
    ("1 copy Value(long) / copy shared_ptr<long>",
     "BM_CopyValueOfLong", "BM_CopySharedPtrOfLong", 1.1,
     "copies a prebuilt Value(long), drops the copy",
     "copies a prebuilt boost::shared_ptr<long>, drops the copy"),
    ("2 make Value(long) / make_shared<long>",
     "BM_MakeValueFromLong", "BM_MakeSharedLong", 1.1,
     "makes a Value from the address of a long, drops it",
     "boost::make_shared<long> of the long, drops it"),
    ("3 ConvertValue long->double / RTTR long->double",
     "BM_ConvertValueLongToDouble", "BM_RttrConvertLongToDouble", 0.8,
     "copies a prebuilt Value(long 42) (ConvertValue works in place), converts it, "
     "reads the double with GetAs, drops the Value",
     "convert<double>() of a prebuilt rttr::variant(long 42)"),
    ("4 ConvertValue String \"42\"->long / RTTR string->int",
     "BM_ConvertValueStringToLong", "BM_RttrConvertStringToInt", 1.0,
     "copies a prebuilt Value(std::wstring L\"42\"), converts it to long, reads it with GetAs, "
     "drops the Value",
     "convert<int>() of a prebuilt rttr::variant(std::string \"42\")"),
    ("3f floor of 3 / RTTR long->double",
     "BM_ConversionFloorLongToDouble", "BM_RttrConvertLongToDouble", None,
     "what no conversion can save: copies the prebuilt Value(long 42), assigns a new "
     "Value(double) over it, reads it with GetAs, drops it; no lookup, no routine",
     "as in 3"),
    ("4f floor of 4 / RTTR string->int",
     "BM_ConversionFloorStringToLong", "BM_RttrConvertStringToInt", None,
     "as in 3f, from the prebuilt Value(std::wstring L\"42\") to a new Value(long)",
     "as in 4"),
    ("5 FindFunction two bases up / RTTR get_method",
     "BM_FindFunctionTwoBasesUp", "BM_RttrGetMethod", 1.0,
     "FindFunction(\"Add\") by a prebuilt name on a class two bases below the one defining it "
     "(30 functions a class), drops the shared_ptr",
     "get_method(\"Add\") on the same shape of RTTR classes"),
    ("5f floor of 5 / RTTR get_method",
     "BM_FindFunctionFloor", "BM_RttrGetMethod", None,
     "what no lookup can save: copies the prebuilt shared_ptr<IFunction> that FindFunction "
     "returns, drops it; no lookup",
     "as in 5"),
    ("6 find + invoke Add / RTTR get_method + invoke",
     "BM_FindAndInvokeAdd", "BM_RttrFindAndInvokeAdd", 1.25,
     "FindFunction(\"Add\") by a prebuilt name in the defining class, Invoke on a prebuilt "
     "Value of a native object with two prebuilt double Values, the result into a slot kept "
     "across iterations, read back with GetAs<double>",
     "get_method(\"Add\") by a prebuilt name, invoke_variadic on a native object with two "
     "prebuilt double variants, the result into a variant kept across iterations, read back "
     "with convert<double>()"),
    ("7 WrapValue class instance / make_shared same size",
     "BM_WrapClassInstance", "BM_MakeSharedWrapperSizedObject", 2.0,
     "copies a prebuilt Value of a native object, WrapValue (the generic class-instance "
     "wrapper), drops the wrapper",
     "boost::make_shared of an object as large as the wrapper, drops it"),
    ("7f floor of 7 / make_shared same size",
     "BM_WrapFloor", "BM_MakeSharedWrapperSizedObject", None,
     "what no lookup can save: copies the prebuilt Value, Class::CreateWrapper of a prebuilt "
     "class, the wrapper into a Value assigned over the copy, drops it",
     "as in 7"),
    ("8a Lua obj:Add host / hand-checked lua_CFunction",
     "BM_LuaHostAdd", "BM_LuaCheckedAdd", 1.5,
     "one obj:Add(i, 2) of a Lua loop, through the host and the class's descriptors",
     "one obj:Add(i, 2) of a Lua loop, a lua_CFunction checking its userdata and numbers"),
    ("8b Lua obj:Add host / raw lua_CFunction (limit)",
     "BM_LuaHostAdd", "BM_LuaRawAdd", None,
     "as in 8a",
     "one add(i, 2) of a Lua loop, a lua_CFunction adding unchecked numbers"),
    ("8c Lua obj:Add builder / hand-checked lua_CFunction",
     "BM_LuaBuilderAdd", "BM_LuaCheckedAdd", 1.0,
     "one obj:Add(i, 2) of a Lua loop, through the host, the method described with ClassBuilder",
     "as in 8a"),
    ("8d Lua obj.Radius builder / hand-checked __index",
     "BM_LuaBuilderRead", "BM_LuaCheckedRead", 1.0,
     "one sum = sum + obj.Radius of a Lua loop, through the host, the read-only property "
     "described with ClassBuilder",
     "one sum = sum + obj.Radius of a Lua loop, an __index lua_CFunction checking its userdata "
     "(a boost::shared_ptr), comparing the key with \"Radius\" and pushing the number (else a "
     "method from a table)"),
    ("8d-f floor of 8d / hand-checked __index",
     "BM_LuaFloorRead", "BM_LuaCheckedRead", None,
     "what no lookup can save: a Lua C function that catches C++ exceptions, records the "
     "running thread and checks for an abort as every host entry does, pushes and pops a "
     "prebuilt frame on the context, and calls the getter's own typed entry on the "
     "object's presented value (no key lookup, no object check)",
     "as in 8d"),
    ("8e Lua Calc.Twice builder / hand-checked lua_CFunction",
     "BM_LuaBuilderStatic", "BM_LuaCheckedStatic", 1.0,
     "one sum = sum + Calc.Twice(i) of a Lua loop (Calc a local holding the class table), "
     "through the host, the static function described with ClassBuilder",
     "one sum = sum + Calc.Twice(i) of a Lua loop (Calc a local holding a plain table), a "
     "lua_CFunction checking its number"),
    ("8e-f floor of 8e / hand-checked lua_CFunction",
     "BM_LuaFloorStatic", "BM_LuaCheckedStatic", None,
     "what no lookup can save: a Lua C function that catches C++ exceptions, records the "
     "running thread and checks for an abort as every host entry does, pushes and pops a "
     "prebuilt frame on the context, reads the number and calls the static function's own "
     "typed entry (Floor.Calc.Twice(i) in the same loop)",
     "as in 8e"),
    ("8f Lua Bench.Circle.new builder / hand-written constructor",
     "BM_LuaBuilderNew", "BM_LuaCheckedNew", 1.5,
     "one local c = Bench.Circle.new(1) of a Lua loop, through the host, the Constructor<double> "
     "of ClassBuilder; a full collection ends the run of 100,000",
     "one local c = Bench.Circle.new(1) of a Lua loop, a lua_CFunction checking its number and "
     "making a userdata that holds a boost::shared_ptr<Circle> (placement new, a metatable "
     "whose __gc destroys it); a full collection ends the run of 100,000"),
    ("8f-f floor of 8f / hand-written constructor",
     "BM_LuaFloorNew", "BM_LuaCheckedNew", None,
     "what no lookup can save: a Lua C function that catches C++ exceptions, records the "
     "running thread and checks for an abort as every host entry does, pushes and pops a "
     "prebuilt frame on the context, reads the number, calls the constructor's own typed "
     "entry, wraps its object with Class::CreateWrapper of a prebuilt class and holds the "
     "wrapper in a userdata whose __gc releases it (Floor.Circle.new(1) in the same loop)",
     "as in 8f"),
    ("10a Python c.Add ours / pybind11",
     "BM_PythonOursAdd", "BM_PythonPybindAdd", 1.0,
     "one c.Add(i, 2) of a Python loop (for i in range(1000000) in a function compiled once), "
     "through the velmorand extension, the method of a class described with ClassBuilder "
     "(double Add(double, double) const)",
     "one c.Add(i, 2) of the same loop, the same C++ class bound with pybind11 (class_::def)"),
    ("10b Python c.Add ours / METH_FASTCALL",
     "BM_PythonOursAdd", "BM_PythonFastcallAdd", 1.5,
     "as in 10a",
     "one c.Add(i, 2) of the same loop, a METH_FASTCALL method of a minimal type that checks "
     "its argument count, reads both with PyFloat_AsDouble (error checked) and returns "
     "PyFloat_FromDouble of the sum"),
    ("10c Python c.Radius ours / pybind11",
     "BM_PythonOursRead", "BM_PythonPybindRead", None,
     "one c.Radius of a Python loop, through the velmorand extension, the read-only property "
     "described with ClassBuilder",
     "one c.Radius of the same loop, def_property_readonly of pybind11"),
    ("9a FindFunction 1,000 / 10 functions",
     "BM_FindFunctionScaling/1000", "BM_FindFunctionScaling/10", 1.3,
     "FindFunction of the middle function of a class of 1,000 functions, no base",
     "the same in a class of 10 functions"),
    ("9b ConvertValue 5,000 / 330 conversions",
     "BM_ConvertValueScaling/5000", "BM_ConvertValueScaling/330", 1.3,
     "copies a prebuilt Value and converts it by the next of 256 registered pairs in turn, "
     "in a registry of 5,000 conversions",
     "the same in a registry of 330 (74 standard + the 256)"),
    ("9c FindClassByScriptName 10,000 / 100 classes",
     "BM_FindClassByScriptNameScaling/10000", "BM_FindClassByScriptNameScaling/100", 1.3,
     "FindClassByScriptName of the middle class among 10,000",
     "the same among 100"),
    ("9d FindFunction missed name, depth 16 / depth 1",
     "BM_FindMissingFunction/16", "BM_FindMissingFunction/1", 2.0,
     "FindFunction of a name no class has, from the innermost class of a 16-class chain "
     "(30 functions a class)",
     "the same from the chain's outermost class (no base)"),
]

# (what, benchmark, counter, highest value allowed)
COUNTER_GOALS = [
    ("sizeof(Value) in bytes", "BM_CopyValueOfLong", "sizeof_Value", 24),
    ("allocations per Value made from a long", "BM_MakeValueFromLong", "allocs", 1),
    ("allocations per FindFunction", "BM_FindFunctionTwoBasesUp", "allocs", 0),
    ("allocations per missed FindFunction at depth 16", "BM_FindMissingFunction/16", "allocs", 0),
    ("allocations per FindClassByScriptName among 10,000",
     "BM_FindClassByScriptNameScaling/10000", "allocs", 0),
    ("allocations per ConvertValue long->double, warm", "BM_ConvertValueLongToDouble", "allocs", 0),
    ("allocations per ConvertValue String->long, warm", "BM_ConvertValueStringToLong", "allocs", 0),
    ("allocations per DataType comparison", "BM_DataTypeCompareDistinct", "allocs", 0),
    # The run's own allocations (the chunk, the context's per-run state) spread over its million
    # calls: anything above one in ten thousand calls is an allocation per call.
    ("allocations per builder obj:Add from Lua", "BM_LuaBuilderAdd", "allocs_per_call", 1e-4),
    ("allocations per builder obj.Radius from Lua", "BM_LuaBuilderRead", "allocs_per_call", 1e-4),
    ("allocations per builder Calc.Twice from Lua", "BM_LuaBuilderStatic", "allocs_per_call",
     1e-4),
    ("allocations per builder c.Add from Python", "BM_PythonOursAdd", "allocs_per_call", 1e-4),
    ("allocations per builder c.Radius from Python", "BM_PythonOursRead", "allocs_per_call",
     1e-4),
]


NANOSECONDS_PER_UNIT = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load_medians(paths):
    """Benchmark name -> its median aggregate, with "ns" the CPU time of one operation: of one
    iteration, or of one call where the benchmark counts its calls per iteration ("calls")."""
    medians = {}
    for path in paths:
        with open(path, encoding="utf-8") as stream:
            document = json.load(stream)
        for entry in document.get("benchmarks", []):
            if entry.get("aggregate_name") != "median":
                continue
            nanoseconds = entry["cpu_time"] * NANOSECONDS_PER_UNIT[entry.get("time_unit", "ns")]
            entry["ns"] = nanoseconds / entry.get("calls", 1.0)
            medians[entry["run_name"]] = entry
    return medians


def verdict(value, goal):
    if goal is None:
        return "-", "-", True
    met = value <= goal + 1e-9
    return f"{goal:g}", "yes" if met else "NO", met


def main(arguments):
    strict = "--strict" in arguments
    paths = [argument for argument in arguments if argument != "--strict"]
    if not paths:
        raise SystemExit(__doc__)
    medians = load_medians(paths)
    all_met = True

    rows = [("pair (ours / baseline)", "ours ns", "baseline ns", "ratio", "goal", "met?")]
    for label, ours, baseline, goal, _, _ in PAIRS:
        if ours not in medians or baseline not in medians:
            rows.append((label, "n/a", "n/a", "n/a", f"{goal:g}" if goal else "-", "not run"))
            continue
        ours_ns = medians[ours]["ns"]
        baseline_ns = medians[baseline]["ns"]
        ratio = ours_ns / baseline_ns
        goal_text, met_text, met = verdict(ratio, goal)
        all_met = all_met and met
        rows.append((label, f"{ours_ns:.1f}", f"{baseline_ns:.1f}", f"{ratio:.2f}", goal_text,
                     met_text))
    print_table(rows)
    print()
    print_legend()
    print()

    rows = [("counter", "value", "goal (at most)", "met?")]
    for label, benchmark, counter, goal in COUNTER_GOALS:
        value = medians.get(benchmark, {}).get(counter)
        if value is None:
            rows.append((label, "n/a", f"{goal:g}", "not run"))
            continue
        goal_text, met_text, met = verdict(value, goal)
        all_met = all_met and met
        rows.append((label, f"{value:g}", goal_text, met_text))
    print_table(rows)
    return 1 if strict and not all_met else 0


def print_legend():
    """What each side of each pair does in one iteration (one call for the Lua and Python
    pairs)."""
    print("What one iteration does (ours / baseline):")
    for label, _, _, _, ours, baseline in PAIRS:
        pair = label.split()[0]
        for side, text in (("ours:", ours), ("baseline:", baseline)):
            print(textwrap.fill(text, width=100, initial_indent=f"{pair:<4} {side:<10} ",
                                subsequent_indent=" " * 16))


def print_table(rows):
    widths = [max(len(row[column]) for row in rows) for column in range(len(rows[0]))]
    for index, row in enumerate(rows):
        cells = [row[0].ljust(widths[0])] + [cell.rjust(width)
                                             for cell, width in zip(row[1:], widths[1:])]
        print("  ".join(cells))
        if index == 0:
            print("  ".join("-" * width for width in widths))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
