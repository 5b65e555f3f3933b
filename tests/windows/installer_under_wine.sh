#!/usr/bin/env bash
# The installer under Wine, run as a technician runs it: silently into a
# chosen folder; again over the shop's vorn.Ini and VornLib.Dll; while a
# gateway runs from that folder; then silently uninstalled with the command
# the Add/Remove Programs entry holds.
#
#   installer_under_wine.sh SETUP.exe WINDOW-POKE.exe [--wine64]
#
# The Wine prefix is a private one, made here and removed at the end: the
# installer writes the user's Run key, which must not reach the prefix the
# other tests share.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
setup=$1
poke=$2
shift 2
# wine-run.sh would take this over the private prefix.
unset TAVORLINE_WINEPREFIX

work=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-setup-test.XXXXXX")
export WINEPREFIX=$work/prefix
wine_run=("$root/cmake/wine-run.sh" --prefix "$WINEPREFIX" "$@")

source "$root/scripts/children.sh"
finish() {
    end_children
    if [[ -d $WINEPREFIX ]]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$work"
}
trap finish EXIT
trap_stop_signals

fail() {
    echo "installer under Wine: FAILED: $*" >&2
    exit 1
}

readonly windows_folder='C:\Shop\Tavorline'
readonly run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
readonly uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavorline'
"${wine_run[@]}"  # makes the prefix
folder=$WINEPREFIX/drive_c/Shop/Tavorline
shortcut=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs/Tavorline.lnk

install() {
    local status=0
    "${wine_run[@]}" "$setup" /S "$@" "/D=$windows_folder" || status=$?
    return "$status"
}

# Prints a registry value as reg.exe shows it, or fails when it is missing.
registry_value() {
    local output
    output=$("${wine_run[@]}" reg query "$1" /v "$2" 2>/dev/null) || return 1
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" <<<"${output//$'\r'/}"
}

# 1. A fresh install: the programs, the Start menu entry, the start at
# logon (quoted), and not our VornLib.dll unless asked for.
install || fail "the fresh install exited with $?"
for program in tavorline.exe tavorline-web.exe uninstall.exe; do
    [[ -f $folder/$program ]] || fail "no $program in $windows_folder"
done
[[ -f $shortcut ]] || fail "no Start menu entry for the user"
run_value=$(registry_value "$run_key" Tavorline) || fail "no Run value"
[[ $run_value == "\"$windows_folder\\tavorline.exe\"" ]] || fail "the Run value is $run_value"
[[ ! -e $folder/VornLib.dll ]] || fail "our VornLib.dll was installed without being chosen"

# 2. Installed again over the shop's files, asking for our library too: the
# shop's are kept byte for byte (Windows matches VornLib.dll in any case).
printf '[VORN]\r\nEcPort=3\r\nEcType=A\r\nLastData="  D1T0000001"\r\n' >"$folder/vorn.Ini"
printf 'MZ the shop library %s' "$RANDOM" >"$folder/VornLib.Dll"
mkdir -p "$folder/LOG"
printf 'a day of payments\r\n' >"$folder/LOG/log20260101.txt"
mkdir "$work/kept"
cp -a "$folder/vorn.Ini" "$folder/VornLib.Dll" "$folder/LOG" "$work/kept/"
install /REFERENCELIB || fail "the install over the shop's files exited with $?"
for name in vorn.Ini VornLib.Dll LOG; do
    diff -r "$work/kept/$name" "$folder/$name" >/dev/null || fail "the install changed $name"
done
[[ $(find "$folder" -maxdepth 1 -iname vornlib.dll | wc -l) == 1 ]] ||
    fail "a second VornLib.dll beside the shop's"

# 3. The installed program started as the staff start it: with no tray
# here (Wine's null driver) its window shows at once, and the reset at start
# brings the status line to "대기중 ...". Running, it holds tavorline.exe: a
# silent install stops before changing anything, with its own exit code.
start_child socat "pty,raw,echo=0,link=$work/gateway-line" "pty,raw,echo=0,link=$work/terminal" \
    2>/dev/null
ln -sfn "$work/gateway-line" "$WINEPREFIX/dosdevices/com9"
mkdir -p "$WINEPREFIX/drive_c/gateway-home"
printf '[VORN]\r\nEcPort=9\r\nEcSpeed=9600\r\n' >"$WINEPREFIX/drive_c/gateway-home/vorn.Ini"
start_child "${wine_run[@]}" "$windows_folder\\tavorline.exe" --home 'C:\gateway-home' \
    >"$work/gateway.txt" 2>&1
gateway=$child
status_line() { "${wine_run[@]}" "$poke" text TFmain Tavorline 1010 2>/dev/null | tr -d '\r'; }
tries=600
until [[ $(status_line) == '대기중 ...' ]]; do
    ((--tries > 0)) || fail "the installed program's status line shows \"$(status_line)\""
    sleep 0.1
done
"${wine_run[@]}" "$poke" visible TFmain Tavorline || fail "the installed program's window is hidden"
status=0
install || status=$?
((status == 3)) ||
    fail "with a gateway running the install exited with $status, not 3: $(cat "$work/gateway.txt")"
end_children "$gateway"

# 4. The silent uninstall Add/Remove Programs would run. It copies itself
# away and returns at once, so wait for the prefix's last process to end.
quiet_uninstall=$(registry_value "$uninstall_key" QuietUninstallString) ||
    fail "no QuietUninstallString"
[[ $quiet_uninstall =~ ^\"([^\"]+)\"\ (.*)$ ]] || fail "QuietUninstallString is $quiet_uninstall"
uninstaller=${BASH_REMATCH[1]}
read -ra options <<<"${BASH_REMATCH[2]}"
"${wine_run[@]}" "$uninstaller" "${options[@]}" || fail "the uninstaller exited with $?"
timeout 120 wineserver -w || fail "the uninstaller did not end"
for program in tavorline.exe tavorline-web.exe uninstall.exe; do
    [[ ! -e $folder/$program ]] || fail "the uninstall left $program"
done
[[ ! -e $shortcut ]] || fail "the uninstall left the Start menu entry"
! registry_value "$run_key" Tavorline >/dev/null || fail "the uninstall left the Run value"
! registry_value "$uninstall_key" DisplayName >/dev/null || fail "the uninstall left its entry"
for name in vorn.Ini VornLib.Dll LOG; do
    diff -r "$work/kept/$name" "$folder/$name" >/dev/null || fail "the uninstall did not keep $name"
done

echo "installer under Wine: installed, kept the shop's files, refused a running gateway, uninstalled"
