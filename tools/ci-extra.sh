#!/usr/bin/env bash
# The checks beyond the unit suites, run after tools/test.sh has built and tested the Release
# build: valgrind memcheck over every test program, the API documentation, installation into a
# prefix with consumer builds, the Debian package's contents, and bounded fuzzing. Nothing is
# installed outside the build folder; tools/check-deb.sh installs the package itself.
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
tools/install-dependencies.sh --checks

step() {
    echo
    echo "== ci-extra: $* (after ${SECONDS}s)"
}

step "valgrind memcheck of every test program"
# The allocation-failure sweep replaces operator new, which valgrind replaces in turn; the
# sanitizer build covers it.
python3 tools/memcheck.py "$build" --exclude 'allocation_failure_test$'

step "API documentation"
# The docs target exists only when doxygen was found at configure time; the folder may have been
# configured (by tools/demo.sh) before doxygen was installed. Configuring again finds it.
cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target docs

step "installation into a prefix, consumer built with find_package and pkg-config"
tests/consumer/check-install.sh --build "$build"

step "the Python package installed into a prefix, imported from there"
hosts/python/check-install.sh "$build"

step "Debian package contents"
rm -f "$build"/velmorandscript_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(realpath "$build"/velmorandscript_*.deb)
dpkg-deb --info "$package"
# File names only: every one under /usr, the headers and pkg-config files among them.
contents=$(dpkg-deb --contents "$package" | awk '{print $6}')
for pattern in '^\./usr/include/velmorandscript/VelmorandScript/VelmorandScript\.h$' \
    '^\./usr/lib/(.*/)?pkgconfig/velmorandscript\.pc$' '^\./usr/lib/(.*/)?libVelmorandScript\.so\.1$' \
    '^\./usr/lib/python3/dist-packages/velmorand/__init__\.py$'; do
    grep -qE "$pattern" <<<"$contents" || {
        echo "ci-extra: the package holds no file matching $pattern" >&2
        exit 1
    }
done
if grep -vE '^\./(usr/.*)?$' <<<"$contents"; then
    echo "ci-extra: the package holds the files above outside /usr" >&2
    exit 1
fi
echo "ci-extra: $(basename "$package") built; tools/check-deb.sh installs and checks it"

step "fuzzing"
tools/fuzz.sh "${FUZZ_SECONDS:-60}"

echo
echo "ci-extra: all checks passed (${SECONDS}s)"
