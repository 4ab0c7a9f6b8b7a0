#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tour of the sample module in the Lua host;
# with --python, the same tour in the Python host (examples/shapes.py).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-dependencies.sh
if [[ "${1:-}" == "--python" ]]; then
    cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVELMORAND_BUILD_PYTHON=ON \
        -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
    cmake --build build/release -j "$(nproc)" --target VelmorandPython VelmorandShapes >/dev/null
    PYTHONPATH=build/release/python /usr/bin/python3 examples/shapes.py
    exit
fi
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target velmorand-lua VelmorandShapes >/dev/null
build/release/hosts/lua/velmorand-lua examples/shapes.lua
