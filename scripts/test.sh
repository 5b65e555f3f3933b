#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the main
# build, the engine, support and cipher tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, a short fuzzing run, the package, and the
# engine's tests built for Windows and run under Wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

jobs=${JOBS:-2}

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")

echo "== sanitizers"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-asan -DTAVORLINE_BUILD_SHELL=OFF \
    -DTAVORLINE_BUILD_BENCH=OFF -DTAVORLINE_SANITIZE=ON -DTAVORLINE_FUZZ=ON
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")

echo "== fuzzing"
FUZZ_BUILD_DIR="$root/build-asan" bash scripts/fuzz.sh "${FUZZ_SECONDS:-10}"

echo "== package"
if [[ $(id -u) -eq 0 ]] || sudo -n true 2>/dev/null; then
    BUILD_DIR="$root/build" bash scripts/package-check.sh
else
    echo "skipped: installing the package needs root or passwordless sudo"
fi

echo "== windows"
# The engine and its tests built with mingw-w64 and run under Wine.
bash scripts/test-windows.sh
