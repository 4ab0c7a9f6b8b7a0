#!/usr/bin/env bash
# Installs what is missing, builds the project twice (Release, then with ASan + UBSan), runs every
# test suite of both builds, then the checks of tools/ci-extra.sh. Installs nothing of the
# project's own: tools/check-deb.sh, run by .ci/run, tries the Debian package under /usr.
set -euo pipefail
cd "$(dirname "$0")/.."

# Everything before the first configure: a build folder configured without doxygen (or clang)
# would lack the targets the later checks build.
tools/install-dependencies.sh --checks
jobs=$(nproc)

stage_start=$SECONDS
stage() {
    echo "== test: $* (after $((SECONDS - stage_start))s)"
}

stage "Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

stage "ASan + UBSan build and tests"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVELMORAND_SANITIZE=ON
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

stage "valgrind, documentation, installation, package contents, fuzzing"
bash tools/ci-extra.sh build/release
stage "done"
