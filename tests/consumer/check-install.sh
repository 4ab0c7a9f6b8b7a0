#!/usr/bin/env bash
# Checks an installed VelmorandScript as a user sees it: file layout, sonames, and consumer
# programs built through the CMake package and through pkg-config, then run.
#   check-install.sh --build <build folder>   builds a consumer against the build tree, then
#                                             installs that build into a temporary prefix
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
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2 && return 1; }; }
# An empty run path entry (a leading, trailing or doubled ':') makes the loader search the
# working directory for the libraries, whoever's they are.
check_run_paths() {
    local file entry
    for file in "$@"; do
        while read -r entry; do
            [[ -n "$entry" && "$entry" != :* && "$entry" != *: && "$entry" != *::* ]] ||
                fail "${file#"$work"/} has an empty run path entry: [$entry]"
        done < <(readelf -d "$file" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
    done
}

# The module project of docs/writing-a-module.md, built against a package ($1: the CMake
# option that finds it) and run by the velmorand-lua given ($2), when there is one.
check_module_project() {
    local project=$source_dir/examples/module-project build=$work/module-$RANDOM
    quiet cmake -S "$project" -B "$build" "$1" -DCMAKE_BUILD_TYPE=Release ||
        fail "the module project does not configure with $1"
    quiet cmake --build "$build" || fail "the module project does not build with $1"
    if [[ -x "$2" ]]; then
        (cd "$project" && quiet "$2" --no-default-module --module "$build/libCounter.so" counter.lua) ||
            fail "counter.lua fails with the module project built with $1"
    fi
}

case "${1:-}" in
--build)
    [[ -d "${2:-}" ]] || fail "no build folder given"
    tree=$(cd "$2" && pwd)
    # A module builds against the build tree's own package before anything is installed.
    quiet cmake -S "$here" -B "$work/tree-build" -DVelmorandScript_DIR="$tree" \
        -DCMAKE_BUILD_TYPE=Release || fail "the consumer project does not configure against $2"
    quiet cmake --build "$work/tree-build" || fail "the consumer does not build against $2"
    "$work/tree-build/consumer" || fail "the consumer built against $2 fails"
    check_module_project -DVelmorandScript_DIR="$tree" "$tree/hosts/lua/velmorand-lua"
    prefix=$work/prefix
    # The installed programs and libraries are relinked with their own run path (preinstall).
    quiet cmake --build "$2" --target preinstall || fail "relinking for the installation failed"
    quiet cmake --install "$2" --prefix "$prefix" || fail "cmake --install failed"
    mapfile -t built < <(find "$2" -path '*/CMakeFiles' -prune -o -type f \
        \( -name velmorand-lua -o -name 'libVelmorand*.so*' \) -print)
    ((${#built[@]})) || fail "$2 holds no built library"
    check_run_paths "${built[@]}"
    ;;
--prefix)
    [[ -d "${2:-}" ]] || fail "no prefix given"
    prefix=$(cd "$2" && pwd)
    ;;
*) fail "usage: $0 --build <build folder> | --prefix <prefix>" ;;
esac

config=$(find "$prefix"/lib* -maxdepth 4 -path '*/cmake/VelmorandScript/VelmorandScriptConfig.cmake' \
    -print -quit 2>/dev/null || true)
[[ -n "$config" ]] || fail "VelmorandScriptConfig.cmake is not installed under $prefix"
libdir=$(dirname "$(dirname "$(dirname "$config")")")
has_lua=$([[ -e "$libdir/libVelmorandLua.so" ]] && echo yes || echo no)
headers=$prefix/include/velmorandscript
package=$libdir/cmake/VelmorandScript
installed=("$headers"/{VelmorandScript/VelmorandScript.h,Common/Common.h} "$libdir/pkgconfig/velmorandscript.pc"
    "$package"/VelmorandScript{ConfigVersion,Targets}.cmake)
libraries=(VelmorandCommon VelmorandScript)
if [[ $has_lua == yes ]]; then
    installed+=("$headers/VelmorandScript/Lua/LuaHost.h")
    libraries+=(VelmorandLua)
fi
for file in "${installed[@]}"; do
    [[ -f "$file" ]] || fail "${file#"$prefix"/} is not installed"
done
# Only the project's own folder: a generic include/Common would clash with other packages.
for folder in Common VelmorandScript; do
    [[ ! -e "$prefix/include/$folder" ]] || fail "headers are installed to include/$folder"
done
for name in "${libraries[@]}"; do
    real=$(readlink -f "$libdir/lib$name.so") || fail "lib$name.so is missing"
    [[ "$real" =~ lib$name\.so\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "lib$name.so has no full version"
    soname=$(readelf -d "$real" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
    [[ "$soname" =~ ^lib$name\.so\.[0-9]+$ && -L "$libdir/$soname" ]] || fail "lib$name soname '$soname'"
done
for file in "$libdir"/lib{VelmorandCommon,VelmorandScript,VelmorandLua,VelmorandShapes}.so; do
    [[ ! -e "$file" ]] || ! readelf -d "$file" | grep -q "$source_dir" ||
        fail "$(basename "$file") refers to the source or build tree in its run path"
done
mapfile -t installed_binaries < <(find "$prefix/bin" "$libdir" -maxdepth 1 -type f \
    \( -name velmorand-lua -o -name 'libVelmorand*.so*' \) 2>/dev/null)
check_run_paths "${installed_binaries[@]}"
! grep -rq "$source_dir" "$package" "$libdir"/pkgconfig/velmorandscript*.pc ||
    fail "the installed package files refer to the source or build tree"

quiet cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release || fail "the consumer project does not configure against $prefix"
quiet cmake --build "$work/cmake-build" || fail "the consumer does not build with find_package"
"$work/cmake-build/consumer" || fail "the consumer built with find_package fails"
if [[ $has_lua == yes ]]; then
    "$work/cmake-build/lua_consumer" || fail "the Lua consumer built with find_package fails"
fi
check_module_project -DCMAKE_PREFIX_PATH="$prefix" "$prefix/bin/velmorand-lua"
! cmake -S "$here" -B "$work/cmake-wrong-version" -DCMAKE_PREFIX_PATH="$prefix" \
    -DVELMORAND_REQUESTED_VERSION=99.0 >/dev/null 2>&1 || fail "find_package accepts version 99.0"

export PKG_CONFIG_PATH="$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
pc_libdir=$(pkg-config --variable=libdir velmorandscript) || fail "pkg-config does not find it"
consumers=("consumer velmorandscript")
[[ $has_lua == yes ]] && consumers+=("lua_consumer velmorandscript-lua")
for entry in "${consumers[@]}"; do
    read -r program package <<<"$entry"
    read -r -a flags <<<"$(pkg-config --cflags --libs "$package")"
    g++ -std=c++17 -Wall -Wextra -Werror "$here/$program.cpp" "${flags[@]}" -Wl,-rpath,"$pc_libdir" \
        -o "$work/$program-pkgconfig" || fail "$program does not build with pkg-config"
    "$work/$program-pkgconfig" || fail "$program built with pkg-config fails"
done

if [[ -x "$prefix/bin/velmorand-lua" ]]; then
    # The installed runner must load its libraries and the sample module from the prefix (it also
    # knows the build tree's module as a last resort, so the loader's trace tells which it used).
    env -u LD_LIBRARY_PATH LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/loader" \
        "$prefix/bin/velmorand-lua" - <<<'assert(Shapes.Circle, "no sample module")' ||
        fail "the installed velmorand-lua does not run a script against the sample module"
    loaded=$(sed -n 's/.*calling init: \(.*libVelmorand.*\)$/\1/p' "$work"/loader.* | sort -u)
    [[ "$loaded" == *libVelmorandShapes.so* ]] || fail "velmorand-lua did not load the sample module"
    while read -r file; do
        [[ "$(readlink -f "$file")" == "$(readlink -f "$prefix")"/* ]] ||
            fail "the installed velmorand-lua loads $file from outside $prefix"
    done <<<"$loaded"
fi
echo "check-install: ok (${libraries[*]})"
