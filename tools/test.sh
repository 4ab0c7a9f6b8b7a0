#!/usr/bin/env bash
# Installs what is missing, builds the project three times (Release, ASan + UBSan, TSan), runs
# every test suite of each build, then the checks of tools/ci-extra.sh. Installs nothing of the
# project's own: tools/check-deb.sh, run by .ci/run, tries the Debian package under /usr.
set -euo pipefail
cd "$(dirname "$0")/.."

# Everything before the first configure: a build folder configured without doxygen (or clang)
# would lack the targets the later checks build.
tools/install-dependencies.sh --checks
jobs=$(nproc)

stage() {
    echo "== test: $* (after ${SECONDS}s)"
}

stage "Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

stage "ASan + UBSan build and tests"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVELMORAND_SANITIZE=ON
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

stage "ThreadSanitizer build and tests"
# Without the Python host: the interpreter itself is not built for ThreadSanitizer, whose
# runtime would have to be preloaded into it; the other two builds test the host.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORAND_TSAN=ON \
    -DVELMORAND_BUILD_PYTHON=OFF
cmake --build build/tsan -j "$jobs"
# Left out (the other builds run it): the host test that cancels from a signal handler. TSan
# delivers a signal only at the thread's next call into its runtime, which a loop of pure Lua
# never makes.
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" ctest --test-dir build/tsan --output-on-failure \
    -j "$jobs" -E '^LuaHostTest\.RunsReportHowTheyEnd'

stage "valgrind, documentation, installation, package contents, fuzzing"
bash tools/ci-extra.sh build/release
stage "done"
