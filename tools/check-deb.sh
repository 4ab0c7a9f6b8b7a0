#!/usr/bin/env bash
# Installs the project's Debian package under /usr (root or sudo), checks it as a user sees it
# (tests/consumer/check-install.sh --prefix /usr) and purges it again. Run by .ci/run on a
# throw-away machine, never by the test command: it changes the system.
#
#   tools/check-deb.sh [Release build folder, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
[[ -f "$build/CMakeCache.txt" ]] || {
    echo "check-deb: $build is not a configured build folder; run tools/test.sh first" >&2
    exit 1
}
tools/install-dependencies.sh dpkg-dev file

sudo_cmd=""
[[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"

if dpkg-query -W -f='${Status}' velmorandscript 2>/dev/null | grep -q "ok installed"; then
    echo "check-deb: velmorandscript is installed on this machine already; not touching it" >&2
    exit 1
fi
rm -f "$build"/velmorandscript_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(realpath "$build"/velmorandscript_*.deb)

trap '$sudo_cmd apt-get purge -y -qq velmorandscript >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$package"
tests/consumer/check-install.sh --prefix /usr
# Debian's python3 imports the package from /usr/lib/python3/dist-packages, away from the tree.
(cd / && env -u PYTHONPATH /usr/bin/python3 -c "import velmorand
velmorand.load_module('libVelmorandShapes.so')
from velmorand.Shapes import Circle
assert velmorand.__file__.startswith('/usr/lib/python3/'), velmorand.__file__
assert Circle(2).Radius == 2")
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get purge -y -qq velmorandscript
trap - EXIT
! dpkg-query -W -f='${Status}' velmorandscript 2>/dev/null | grep -q "ok installed" || {
    echo "check-deb: velmorandscript is still installed after the purge" >&2
    exit 1
}
echo "check-deb: the package installed, served the consumer and was removed cleanly"
