#!/usr/bin/env bash
# Installs a build folder (configured with -DVELMORAND_BUILD_PYTHON=ON) into a scratch prefix
# and uses the installed package from there, away from the build tree: the extension must find
# the project's libraries in the install's library folder through its run path, and
# load_module the installed sample module by its bare file name.
#   hosts/python/check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-install.sh BUILD_DIR}" && pwd)
python=/usr/bin/python3

package_dir=$(sed -n 's/^VELMORAND_PYTHON_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
if [[ -z $package_dir ]]; then
    echo "check-install.sh: $build has no Python package (configure with -DVELMORAND_BUILD_PYTHON=ON)" >&2
    exit 1
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
[[ $package_dir == /* ]] || package_dir=$prefix/$package_dir

cd "$prefix"
env -u LD_LIBRARY_PATH PYTHONPATH="$package_dir" VELMORAND_PREFIX="$prefix" "$python" - <<'EOF'
import os
import subprocess
import sys

import velmorand

prefix = os.environ["VELMORAND_PREFIX"]
assert velmorand.__file__.startswith(prefix), f"imported {velmorand.__file__}, not the install"
# Every library of the project the process mapped comes from the install.
with open("/proc/self/maps") as maps:
    mapped = {line.split()[-1] for line in maps if "libVelmorand" in line}
outside = [path for path in mapped if not path.startswith(prefix)]
assert mapped and not outside, f"libraries loaded from outside the install: {outside}"

module = velmorand.find_module("libVelmorandShapes.so")
if "/" not in module:
    print("check-install.sh: the sample module is not installed (built without the Lua host); "
          "the package imports")
    sys.exit(0)
assert module.startswith(prefix), f"found the sample module at {module}, not in the install"
velmorand.load_module("libVelmorandShapes.so")
from velmorand.Shapes import Circle

assert abs(Circle(2).Area - 12.566370614359172) < 1e-9
# The stubs command of the installed package.
stubs = os.path.join(prefix, "stubs")
subprocess.run([sys.executable, "-m", "velmorand", "stubs", "libVelmorandShapes.so", "-o", stubs],
               check=True, stdout=subprocess.DEVNULL)
assert os.path.isfile(os.path.join(stubs, "velmorand", "Shapes.pyi"))
print(f"check-install.sh: velmorand imports from the install and loads {os.path.basename(module)}")
EOF
