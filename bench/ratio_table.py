#!/usr/bin/env python3
"""Prints the table of benchmark ratios from the JSON files of the benchmark programs.

Every figure is the median CPU time of an operation of the library divided by the median CPU time
of its baseline, both measured in the same run, so that the drift of a shared machine cancels
out. Usage: ratio_table.py RESULT.json... (exit status 1 when a goal is missed and --strict is
given).
"""

import json
import sys

# (pair, ours, baseline, goal: the highest ratio allowed, or None where the figure is informative)
PAIRS = [
    ("1 copy Value(long) / copy shared_ptr<long>",
     "BM_CopyValueOfLong", "BM_CopySharedPtrOfLong", 1.2),
    ("2 make Value(long) / make_shared<long>",
     "BM_MakeValueFromLong", "BM_MakeSharedLong", 1.1),
    ("3 ConvertValue long->double / RTTR int->double",
     "BM_ConvertValueLongToDouble", "BM_RttrConvertIntToDouble", 1.0),
    ("4 ConvertValue String \"42\"->long / RTTR string->int",
     "BM_ConvertValueStringToLong", "BM_RttrConvertStringToInt", 1.0),
    ("5 FindFunction two bases up / RTTR get_method",
     "BM_FindFunctionTwoBasesUp", "BM_RttrGetMethod", 1.0),
    ("6 find + invoke Add / RTTR invoke_variadic",
     "BM_FindAndInvokeAdd", "BM_RttrInvokeVariadic", 1.5),
    ("7 WrapValue class instance / make_shared same size",
     "BM_WrapClassInstance", "BM_MakeSharedWrapperSizedObject", None),
    ("8 Lua obj:Add host / hand-checked lua_CFunction",
     "BM_LuaHostAdd", "BM_LuaCheckedAdd", 2.0),
    ("8 Lua obj:Add host / raw lua_CFunction (limit)",
     "BM_LuaHostAdd", "BM_LuaRawAdd", None),
    ("9 FindFunction 1,000 / 10 functions",
     "BM_FindFunctionScaling/1000", "BM_FindFunctionScaling/10", 2.0),
    ("9 ConvertValue 5,000 / 74 conversions",
     "BM_ConvertValueScaling/5000", "BM_ConvertValueScaling/74", 2.0),
    ("9 FindClassByScriptName 10,000 / 10 classes",
     "BM_FindClassByScriptNameScaling/10000", "BM_FindClassByScriptNameScaling/10", 2.0),
]

# (what, benchmark, counter, highest value allowed)
COUNTER_GOALS = [
    ("sizeof(Value) in bytes", "BM_CopyValueOfLong", "sizeof_Value", 24),
    ("allocations per Value made from a long", "BM_MakeValueFromLong", "allocs", 1),
    ("allocations per FindFunction", "BM_FindFunctionTwoBasesUp", "allocs", 0),
    ("allocations per ConvertValue long->double (the result)",
     "BM_ConvertValueLongToDouble", "allocs", 1),
    ("allocations per ConvertValue String->long (the result)",
     "BM_ConvertValueStringToLong", "allocs", 1),
    ("allocations per DataType comparison", "BM_DataTypeCompareDistinct", "allocs", 0),
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
    for label, ours, baseline, goal in PAIRS:
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
