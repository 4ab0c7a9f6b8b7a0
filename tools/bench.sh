#!/usr/bin/env bash
# Builds the benchmarks in Release (build/bench), runs every program with seven repetitions and
# prints the table of ratios of medians (bench/ratio_table.py). Extra arguments go to every
# benchmark program, e.g. --benchmark_min_time=0.05 for a quick run.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-dependencies.sh libbenchmark-dev librttr-dev pybind11-dev

build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMORAND_BUILD_BENCHMARKS=ON \
    -DVELMORAND_BUILD_LUA=ON -DVELMORAND_BUILD_PYTHON=ON >/dev/null
cmake --build "$build" -j 2 --target velmorand_benchmarks

results="$build/bench/results"
mkdir -p "$results"
rm -f "$results"/*.json
for program in "$build"/bench/*_bench; do
    name=$(basename "$program")
    echo "running $name" >&2
    # Logging off: the pairs measure the dispatch path, not the trace log. Interleaving the
    # repetitions spreads the machine's drift over both sides of each pair.
    (cd "$results" && env -u ENABLE_SCRIPT_LOGGING "$OLDPWD/$program" \
        --benchmark_repetitions=7 --benchmark_report_aggregates_only=true \
        --benchmark_enable_random_interleaving=true \
        --benchmark_format=json "$@" >"$name.json")
done
python3 bench/ratio_table.py "$results"/*.json
