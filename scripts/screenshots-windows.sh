#!/usr/bin/env bash
# Renders the Windows program's main window, settings dialog and display
# window (after an approved payment) into docs/screenshots/windows/*.png:
# the real tavorline.exe under Wine on an X display of its own (Xvfb), COM8
# on a pty pair with terminal-sim on the other end and host-sim as the host.
# Wine draws the window frames itself here, as there is no window manager.
# The main window is shot a second time at 150 % display scaling.
#
#   scripts/screenshots-windows.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${TAVORLINE_SHOTS_ON_XVFB:-} ]]; then
    exec env TAVORLINE_SHOTS_ON_XVFB=1 xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" "$@"
fi

jobs=${JOBS:-2}
linux_build=${BUILD_DIR:-$root/build}
windows_build=$root/build-win64
out=$root/docs/screenshots/windows

WIN_INSTALL_ONLY=1 bash "$root/scripts/build-windows.sh"
if [[ ! -f $windows_build/CMakeCache.txt ]]; then bash "$root/scripts/build-windows.sh" x86_64; fi
cmake --build "$windows_build" -j "$jobs" --target tavorline window-poke VornLib
if [[ ! -f $linux_build/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$linux_build" -j "$jobs" --target terminal-sim host-sim VornLib

source "$root/scripts/children.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-shots.XXXXXX")
export WINEPREFIX=$work/prefix
finish() {
    end_children
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
trap_stop_signals

wine_run=("$root/cmake/wine-run.sh" --prefix "$WINEPREFIX" --wine64 --x11)
"${wine_run[@]}"
# One server for every step, talking to its own log rather than to us.
start_wineserver() { WINEDEBUG=-all wineserver -p >>"$work/wineserver.log" 2>&1; }
start_wineserver
"${wine_run[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
# Title bars in Korean, as Korean Windows links its system font to a Korean one.
"${wine_run[@]}" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'NanumGothic.ttf,NanumGothic' /f >/dev/null
poke() { "${wine_run[@]}" "$windows_build/bin/window-poke.exe" "$@"; }

await() {
    local tries=600
    until "$@"; do
        ((--tries > 0)) || { echo "screenshots: gave up waiting for: $*" >&2; return 1; }
        sleep 0.05
    done
}

# The X window on screen whose title is $1.
window_id() {
    local id
    for id in $(xwininfo -root -tree | grep -F "\"$1\": (\"tavorline.exe\"" | awk '{print $1}'); do
        if xwininfo -id "$id" | grep -q 'IsViewable'; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# Saves the X window whose title is $1 as $2.
shoot() {
    local id
    await window_id "$1" >/dev/null
    id=$(window_id "$1")
    sleep 0.5  # let it finish painting
    xwd -id "$id" -silent >"$work/shot.xwd"
    python3 "$root/scripts/xwd_to_png.py" "$work/shot.xwd" "$2"
    echo "screenshots: $2"
}

start_child socat "pty,raw,echo=0,link=$work/gateway-line" "pty,raw,echo=0,link=$work/terminal" \
    2>/dev/null
await test -e "$work/terminal"
ln -sfn "$work/gateway-line" "$WINEPREFIX/dosdevices/com8"
start_child "$linux_build/bin/host-sim" --timeout 60 --mode LF --tls >"$work/host.txt" 2>&1
await grep -qE '^[0-9]+$' "$work/host.txt"
host_port=$(head -n 1 "$work/host.txt")
printf '[VORN]\r\nEcPort=8\r\nEcSpeed=9600\r\nEcType=A\r\nDnAddr=127.0.0.1\r\nDnPort=%s\r\n' \
    "$host_port" >"$work/vorn.Ini"
home="Z:${work//\//\\}"

start_gateway() {
    start_child "${wine_run[@]}" "$windows_build/bin/tavorline.exe" --home "$home" \
        >/dev/null 2>&1
    poke wait TFmain Tavorline
    sleep 2  # the reset at start
}

start_gateway
run_child "$linux_build/bin/terminal-sim" --device "$work/terminal" --line-check --mode LF \
    --dest "127.0.0.1/$host_port" --expect approved --timeout 30 >"$work/terminal.txt" 2>&1
mkdir -p "$out"
# A second start brings the running program's window to the front.
"${wine_run[@]}" "$windows_build/bin/tavorline.exe" --home "$home"
shoot Tavorline "$out/main-window.png"
poke show TFDisp "수신전문 내역"
shoot "수신전문 내역" "$out/display-window.png"
poke click TFmain Tavorline 1002
poke wait TFSET01 "환경 설정 "
shoot "환경 설정 " "$out/settings-dialog.png"

# 150 %: the program reads the screen's DPI at start.
end_children
wineserver -k 2>/dev/null || true
start_wineserver
"${wine_run[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f \
    >/dev/null
start_child socat "pty,raw,echo=0,link=$work/gateway-line" "pty,raw,echo=0,link=$work/terminal" \
    2>/dev/null
start_gateway
"${wine_run[@]}" "$windows_build/bin/tavorline.exe" --home "$home"
shoot Tavorline "$out/main-window-150.png"
