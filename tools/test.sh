#!/usr/bin/env bash
# Installs what is missing, builds the project twice (Release, then with ASan + UBSan), runs every
# test suite of both builds, then the checks of tools/ci-extra.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-dependencies.sh
jobs=$(nproc)

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVELMORAND_SANITIZE=ON
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

# valgrind memcheck, documentation, installation and packaging checks, bounded fuzzing.
bash tools/ci-extra.sh build/release
