#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build folder of their own and runs each one for a
# bounded time, starting from its seed corpus in fuzz/corpus/<target>/. Fails when any target
# finds a crash, a sanitizer report, a leak or a timeout; the input that did it is kept in
# <build>/artifacts/ and should become a regression seed (and a unit test) once fixed.
#
#   tools/fuzz.sh [seconds per target, default 60] [build folder, default build/fuzz]
#   FUZZ_TARGETS="fuzz_text fuzz_format" tools/fuzz.sh 10    runs only those targets
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${2:-build/fuzz}
compiler=${FUZZ_CXX:-clang++-14}
jobs=${FUZZ_BUILD_JOBS:-$(nproc)}

command -v "$compiler" >/dev/null || {
    echo "fuzz: $compiler is missing (Debian packages clang-14 and libclang-rt-14-dev)" >&2
    exit 1
}

lua=OFF
[[ -f hosts/lua/CMakeLists.txt ]] && lua=ON
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORAND_BUILD_FUZZERS=ON -DVELMORAND_BUILD_TESTS=OFF -DVELMORAND_BUILD_LUA="$lua" \
    >"$build.configure.log" 2>&1 || {
    cat "$build.configure.log" >&2
    exit 1
}

if [[ -n "${FUZZ_TARGETS:-}" ]]; then
    read -r -a targets <<<"$FUZZ_TARGETS"
else
    configured=$(cmake --build "$build" --target help)
    targets=()
    for source in fuzz/fuzz_*.cpp; do
        name=$(basename "$source" .cpp)
        # A target whose dependencies are not built here (the Lua host) is not configured.
        if grep -qw "$name" <<<"$configured"; then
            targets+=("$name")
        fi
    done
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
    seeds=fuzz/corpus/$target
    corpus=$build/corpus/$target
    mkdir -p "$corpus" "$seeds"
    # The example scripts are the Lua target's seeds; copies kept in the repository would drift.
    [[ $target == fuzz_lua_script ]] && cp examples/*.lua "$corpus"/
    log=$build/$target.log
    dictionary=()
    [[ -f fuzz/$target.dict ]] && dictionary=(-dict="fuzz/$target.dict")
    echo "fuzz: running $target for ${seconds}s"
    # New inputs go into the build's corpus; the seeds in the repository are only read.
    if "$build/fuzz/$target" "$corpus" "$seeds" "${dictionary[@]}" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=4096 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1; then
        grep -E "stat::number_of_executed_units|cov:" "$log" | tail -2 | sed "s/^/fuzz: $target: /"
    else
        echo "fuzz: $target FOUND A PROBLEM (log $log):" >&2
        grep -E -A 30 "ERROR|runtime error|broken guarantee|deadly signal|Test unit written" \
            "$log" | head -60 >&2 || tail -40 "$log" >&2
        failed+=("$target")
    fi
done

if ((${#failed[@]})); then
    echo "fuzz: ${#failed[@]} failed, ${#targets[@]} run: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets ran ${seconds}s each without findings"
