#!/usr/bin/env bash
# Installs the Debian packages the build needs, where they are missing.
#   install-dependencies.sh [--checks] [PACKAGE]...
# --checks adds what the test command's extra checks use (valgrind, doxygen, clang for the fuzz
# targets, the packaging tools, mypy for the Python stubs); further arguments are installed too.
set -euo pipefail

packages=(cmake g++ make pkg-config libboost-dev libgtest-dev liblua5.4-dev
    python3 libpython3.11-dev python3-pytest)
if [[ ${1:-} == --checks ]]; then
    shift
    packages+=(valgrind doxygen clang-14 libclang-rt-14-dev dpkg-dev file mypy)
fi
packages+=("$@")
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
