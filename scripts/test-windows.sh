#!/usr/bin/env bash
# Runs the Windows tests under Wine, building first, and ends the Wine
# prefix's server afterwards so nothing is left running.
# 32-bit Wine is a 32-bit Linux program; where the kernel cannot execute
# those, the 32-bit build is only compiled and the tests run from the 64-bit
# build of the same sources, and the output says so.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

WIN_INSTALL_ONLY=1 bash "$root/scripts/build-windows.sh"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=i686
    build_dir=$root/build-win
    bash "$root/scripts/build-windows.sh" i686 -DTAVORLINE_BUILD_TESTS=ON
else
    echo "This kernel cannot run 32-bit programs, so neither can Wine:"
    echo "the 32-bit build is only compiled (without its tests), and the"
    echo "tests run from the 64-bit build of the same sources instead."
    bash "$root/scripts/build-windows.sh" i686 -DTAVORLINE_BUILD_TESTS=OFF
    arch=x86_64
    build_dir=$root/build-win64
    bash "$root/scripts/build-windows.sh" x86_64
fi

export WINEPREFIX=${TAVORLINE_WINEPREFIX:-$build_dir/wineprefix}
end_wine() { [[ -d $WINEPREFIX ]] && wineserver -k 2>/dev/null || true; }
trap end_wine EXIT

wine_option=()
if [[ $arch == x86_64 ]]; then wine_option=(--wine64); fi
echo "Windows tests ($arch) under Wine, prefix $WINEPREFIX"
"$root/cmake/wine-run.sh" --prefix "$WINEPREFIX" "${wine_option[@]}"
# Wine on a busy machine now and then ends a program at its start, silently
# and within a twentieth of a second: each failed test runs once more. Both
# runs show in the output, so a test that needed the second stays visible.
(cd "$build_dir" && ctest --output-on-failure -j "$jobs" --repeat until-pass:2)

# Whole payments through the Windows gateway, with the Linux simulators as
# terminal and hosts (built by scripts/test.sh, or here when missing).
linux_build=${BUILD_DIR:-$root/build}
if [[ ! -x $linux_build/bin/terminal-sim || ! -x $linux_build/bin/host-sim ]]; then
    cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$linux_build" -j "$jobs" --target terminal-sim host-sim VornLib
fi
bash "$root/tests/windows/payments_under_wine.sh" "$linux_build/bin" "$build_dir/bin" "${wine_option[@]}"
# Every kind of fault once, while payments run through the Windows gateway.
python3 "$root/scripts/chaos_soak.py" --wine "${wine_option[@]}" --linux-bin "$linux_build/bin" \
    --windows-bin "$build_dir/bin" --wine-prefix "$WINEPREFIX" --gateways 1 --payments 16 \
    --fault-share 1
