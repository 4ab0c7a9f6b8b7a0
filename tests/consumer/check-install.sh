#!/usr/bin/env bash
# Checks an installed VelmorandScript the way a user of it would see it: the file layout, the
# sonames, and a consumer program built once through the CMake package and once through
# pkg-config, then run.
#
#   check-install.sh --build <build folder>   installs that build into a temporary prefix first
#   check-install.sh --prefix <prefix>        checks what is installed there (e.g. /usr)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "check-install: $*" >&2
    exit 1
}

case "${1:-}" in
--build)
    [[ -d "${2:-}" ]] || fail "no build folder given"
    prefix=$work/prefix
    cmake --install "$2" --prefix "$prefix" >"$work/install.log" || {
        cat "$work/install.log" >&2
        fail "cmake --install failed"
    }
    ;;
--prefix)
    [[ -d "${2:-}" ]] || fail "no prefix given"
    prefix=$(cd "$2" && pwd)
    ;;
*)
    fail "usage: $0 --build <build folder> | --prefix <prefix>"
    ;;
esac

config=$(find "$prefix"/lib* -maxdepth 4 -path '*/cmake/VelmorandScript/VelmorandScriptConfig.cmake' \
    -print -quit 2>/dev/null || true)
[[ -n "$config" ]] || fail "VelmorandScriptConfig.cmake is not installed under $prefix"
libdir=$(dirname "$(dirname "$(dirname "$config")")")
echo "check-install: library folder $libdir"

headers=include/velmorandscript
for file in VelmorandScript/VelmorandScript.h Common/Common.h; do
    [[ -f "$prefix/$headers/$file" ]] || fail "$headers/$file is not installed"
done
if [[ -e "$libdir/libVelmorandLua.so" && ! -f "$prefix/$headers/VelmorandScript/Lua/LuaHost.h" ]]; then
    fail "$headers/VelmorandScript/Lua/LuaHost.h is not installed"
fi
# Only the project's own folder: a generic include/Common would clash with other packages.
for folder in Common VelmorandScript; do
    [[ ! -e "$prefix/include/$folder" ]] || fail "headers are installed to include/$folder"
done
for file in VelmorandScriptConfigVersion.cmake VelmorandScriptTargets.cmake; do
    [[ -f "$libdir/cmake/VelmorandScript/$file" ]] || fail "$file is not installed"
done
[[ -f "$libdir/pkgconfig/velmorandscript.pc" ]] || fail "velmorandscript.pc is not installed"

libraries=(VelmorandCommon VelmorandScript)
[[ -e "$libdir/libVelmorandLua.so" ]] && libraries+=(VelmorandLua)
for name in "${libraries[@]}"; do
    real=$(readlink -f "$libdir/lib$name.so") || fail "lib$name.so is missing"
    [[ "$real" =~ lib$name\.so\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "lib$name.so has no full version"
    soname=$(readelf -d "$real" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
    [[ "$soname" =~ ^lib$name\.so\.[0-9]+$ ]] || fail "lib$name has soname '$soname'"
    [[ -L "$libdir/$soname" ]] || fail "the soname link $soname is missing"
    if readelf -d "$real" | grep -q "$source_dir"; then
        fail "lib$name refers to the source or build tree in its run path"
    fi
done
if [[ -e "$libdir/libVelmorandShapes.so" ]] && readelf -d "$libdir/libVelmorandShapes.so" | grep -q "$source_dir"; then
    fail "the sample module refers to the source or build tree in its run path"
fi
if grep -rq "$source_dir" "$libdir/cmake/VelmorandScript" "$libdir"/pkgconfig/velmorandscript*.pc; then
    fail "the installed package files refer to the source or build tree"
fi
echo "check-install: layout, sonames and package files ok (${libraries[*]})"

cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release >"$work/cmake.log" 2>&1 || {
    cat "$work/cmake.log" >&2
    fail "the consumer project does not configure against $prefix"
}
cmake --build "$work/cmake-build" >>"$work/cmake.log" 2>&1 || {
    cat "$work/cmake.log" >&2
    fail "the consumer project does not build with find_package"
}
"$work/cmake-build/consumer" || fail "the consumer built with find_package fails"
has_lua=$( [[ -e "$libdir/libVelmorandLua.so" ]] && echo yes || echo no)
if [[ $has_lua == yes ]]; then
    [[ -x "$work/cmake-build/lua_consumer" ]] || fail "VelmorandScript::Lua is not exported"
    "$work/cmake-build/lua_consumer" || fail "the Lua consumer built with find_package fails"
fi

if cmake -S "$here" -B "$work/cmake-wrong-version" -DCMAKE_PREFIX_PATH="$prefix" \
    -DVELMORAND_REQUESTED_VERSION=99.0 >/dev/null 2>&1; then
    fail "find_package accepts version 99.0 of the package"
fi

export PKG_CONFIG_PATH="$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
pkg-config --exists velmorandscript || fail "pkg-config does not find velmorandscript"
read -r -a flags <<<"$(pkg-config --cflags --libs velmorandscript)"
pc_libdir=$(pkg-config --variable=libdir velmorandscript)
g++ -std=c++17 -Wall -Wextra -Werror "$here/consumer.cpp" "${flags[@]}" \
    -Wl,-rpath,"$pc_libdir" -o "$work/consumer-pkgconfig" ||
    fail "the consumer does not build with pkg-config"
"$work/consumer-pkgconfig" || fail "the consumer built with pkg-config fails"
if [[ $has_lua == yes ]]; then
    read -r -a flags <<<"$(pkg-config --cflags --libs velmorandscript-lua)"
    g++ -std=c++17 -Wall -Wextra -Werror "$here/lua_consumer.cpp" "${flags[@]}" \
        -Wl,-rpath,"$pc_libdir" -o "$work/lua-consumer-pkgconfig" ||
        fail "the Lua consumer does not build with pkg-config"
    "$work/lua-consumer-pkgconfig" || fail "the Lua consumer built with pkg-config fails"
fi

if [[ -x "$prefix/bin/velmorand-lua" ]]; then
    # The installed runner must find its libraries and the sample module from where it lies.
    # The runner also knows the build tree's copy of the module as a last resort, so the loader's
    # trace tells which files it really loaded.
    env -u LD_LIBRARY_PATH LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/loader" \
        "$prefix/bin/velmorand-lua" - <<<'assert(Shapes.Circle, "no sample module")' ||
        fail "the installed velmorand-lua does not run a script against the sample module"
    loaded=$(sed -n 's/.*calling init: \(.*libVelmorand.*\)$/\1/p' "$work"/loader.* | sort -u)
    [[ "$loaded" == *libVelmorandShapes.so* ]] || fail "velmorand-lua did not load the sample module"
    while read -r file; do
        [[ "$(readlink -f "$file")" == "$(readlink -f "$prefix")"/* ]] ||
            fail "the installed velmorand-lua loads $file from outside $prefix"
    done <<<"$loaded"
    echo "check-install: the installed velmorand-lua runs with the sample module from $libdir"
fi

echo "check-install: consumer built with find_package and with pkg-config, both run"
