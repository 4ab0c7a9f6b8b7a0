#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tour of the sample module in the Lua host.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-dependencies.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target velmorand-lua VelmorandShapes >/dev/null
build/release/hosts/lua/velmorand-lua examples/shapes.lua
