#!/usr/bin/env bash
# Builds the engine and its tests for Windows with mingw-w64, installing the
# cross compiler, libgcrypt for mingw and Wine first when they are missing.
#   scripts/build-windows.sh           32-bit, the shipped build: build-win/
#   scripts/build-windows.sh x86_64    64-bit, for testing only: build-win64/
# Further arguments go to cmake's configure step (-DTAVORLINE_BUILD_TESTS=OFF).
# WIN_INSTALL_ONLY=1 stops after installing.
# The programs land in bin/ of the build folder, their installer at its top
# (tavorline-setup-<version>.exe; -x64-test in the 64-bit build); NSIS
# builds it. scripts/test-windows.sh runs the tests under Wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
jobs=${JOBS:-2}

case $arch in
    i686) build_dir=${WIN_BUILD_DIR:-$root/build-win}; compiler=g++-mingw-w64-i686-posix ;;
    x86_64) build_dir=${WIN_BUILD_DIR:-$root/build-win64}; compiler=g++-mingw-w64-x86-64-posix ;;
    *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac

# googletest: its sources, compiled into the Windows build. wine32 runs
# 32-bit programs and is an i386 package. nsis makes the installer. Xvfb
# gives Wine the notification area the tray tests need; the X tools and
# fonts serve the screenshots.
packages=("$compiler" libgcrypt-mingw-w64-dev googletest wine wine64 wine32:i386 nsis
    xvfb xauth x11-utils x11-apps fonts-wine fonts-nanum)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    # Others may be installing at the same time: wait for dpkg's lock.
    apt=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq \
        --no-install-recommends "${missing[@]}"
fi

if [[ ${WIN_INSTALL_ONLY:-0} == 1 ]]; then exit 0; fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" "${@:2}"
cmake --build "$build_dir" -j "$jobs"
# Fails, rather than leaving the installer out, where makensis was not found.
cmake --build "$build_dir" --target installer
