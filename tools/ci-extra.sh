#!/usr/bin/env bash
# The checks beyond the unit suites, run after tools/test.sh has built and tested the Release
# build: valgrind memcheck over every test program, the API documentation, installation into a
# prefix with consumer builds, the Debian package, and bounded fuzzing.
#
#   tools/ci-extra.sh [Release build folder, default build/release]
#   FUZZ_SECONDS=<n> bounds each fuzz target (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
[[ -f "$build/CMakeCache.txt" ]] || {
    echo "ci-extra: $build is not a configured build folder; run tools/test.sh first" >&2
    exit 1
}
tools/install-dependencies.sh valgrind doxygen clang-14 libclang-rt-14-dev dpkg-dev file python3

sudo_cmd=""
[[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"

step() {
    echo
    echo "== ci-extra: $*"
}

step "valgrind memcheck of every test program"
# The allocation-failure sweep replaces operator new, which valgrind replaces in turn; the
# sanitizer build covers it.
python3 tools/memcheck.py "$build" --exclude 'allocation_failure_test$'

step "API documentation"
cmake --build "$build" --target docs

step "installation into a prefix, consumer built with find_package and pkg-config"
tests/consumer/check-install.sh --build "$build"

step "Debian package"
rm -f "$build"/velmorandscript_*.deb
(cd "$build" && cpack -G DEB)
package=$(realpath "$build"/velmorandscript_*.deb)
dpkg-deb --info "$package"
if dpkg-query -W -f='${Status}' velmorandscript 2>/dev/null | grep -q "ok installed"; then
    echo "ci-extra: velmorandscript is installed on this machine already; not touching it" >&2
    exit 1
fi
trap '$sudo_cmd apt-get purge -y -qq velmorandscript >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$package"
tests/consumer/check-install.sh --prefix /usr
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get purge -y -qq velmorandscript
trap - EXIT
echo "ci-extra: the package installed, served the consumer and was removed cleanly"

step "fuzzing"
tools/fuzz.sh "${FUZZ_SECONDS:-60}"

echo
echo "ci-extra: all checks passed"
