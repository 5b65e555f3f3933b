#!/usr/bin/env bash
# Two whole approved payments through the Windows gateway under Wine, with
# the Linux simulators as terminal and hosts: mode LF over TLS, then mode AR
# after the RSA key exchange. Checks each stored LastData record, the day's
# log, and that tavorline-web.exe reads the stored record back from the
# running gateway.
#
#   payments_under_wine.sh LINUX_BIN WINDOWS_BIN [--wine64]
#
# LINUX_BIN holds terminal-sim and host-sim (with libVornLib.so), WINDOWS_BIN
# tavorline.exe, tavorline-web.exe and VornLib.dll. WINEPREFIX names the
# prefix (made on first use). COM8 of the prefix is put on a pty pair.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
linux_bin=$1
windows_bin=$2
shift 2
wine_run=("$root/cmake/wine-run.sh" --prefix "${WINEPREFIX:?WINEPREFIX must name the prefix}" "$@")
readonly com_number=8
readonly closed_port=1

prefix=$WINEPREFIX
readonly title="payments under Wine" slug=wine-pay
source "$root/tests/windows/gateway_line.sh"

# host-sim prints its port first; read it from the file, not through $(...),
# so that its process id reaches end_children.
start_host() {
    local name=$1
    shift
    start_child "$linux_bin/host-sim" --timeout 30 "$@" >"$home/$name-host.txt" 2>&1
    await grep -qE '^[0-9]+$' "$home/$name-host.txt" || fail "host-sim $name did not start"
}
start_host lf --mode LF --tls
lf_port=$(head -n 1 "$home/lf-host.txt")
start_host ar --mode AR
ar_dialled=$(($(head -n 1 "$home/ar-host.txt") - 20000))

printf '[VORN]\r\nEcPort=%s\r\nEcSpeed=9600\r\nEcType=A\r\nDnAddr=127.0.0.1\r\nDnPort=%s\r\nUpAddr=127.0.0.1\r\nUpPort=%s\r\n' \
    "$com_number" "$lf_port" "$closed_port" >"$home/vorn.Ini"
windows_home="Z:${home//\//\\}"
start_child "${wine_run[@]}" "$windows_bin/tavorline.exe" --headless --home "$windows_home" \
    >"$home/gateway.txt" 2>"$home/gateway-errors.txt"

waiting_count() { grep -c '대기중 \.\.\.' "$home/gateway.txt" || true; }
waiting_at_least() { (($(waiting_count) >= $1)); }
await_waiting() { await waiting_at_least "$1"; }
await_waiting 1 || fail "the gateway did not start: $(cat "$home/gateway-errors.txt")"

stored_record() {
    grep -a '^LastData=' "$home/vorn.Ini" | sed -e 's/\r$//' -e 's/^LastData=//' -e 's/^"//' -e 's/"$//'
}

# One payment; its record must be this approval (terminal id in bytes 3..10).
pay() {
    local mode=$1 port=$2 terminal_id=$3
    run_child "$linux_bin/terminal-sim" --device "$home/terminal" --line-check --mode LF \
        --dest "127.0.0.1/$port" --field "2=$terminal_id" --expect approved --timeout 30 \
        >"$home/terminal-$mode.txt" 2>&1 ||
        fail "the $mode payment was not approved: $(tail -n 5 "$home/terminal-$mode.txt")"
    await grep -qE "^LastData=\"?D1$terminal_id" "$home/vorn.Ini" || fail "$mode: no record stored"
    local record
    record=$(stored_record)
    [[ ${#record} == 600 && ${record:306:4} == 0000 ]] || fail "$mode: not an approval: \"$record\""
}

pay LF "$lf_port" T0000001

# The web screen's tool gets the stored record from the running gateway.
"${wine_run[@]}" "$windows_bin/tavorline-web.exe" lastdata >"$home/lastdata.txt" 2>&1 ||
    fail "tavorline-web.exe lastdata: $(cat "$home/lastdata.txt")"
[[ $(tr -d '\r\n' <"$home/lastdata.txt") == "$(stored_record)" ]] ||
    fail "tavorline-web.exe read another record: $(cat "$home/lastdata.txt")"

# EcType R from the next reset on: a call to a port nobody listens on
# fails and resets the gateway, which reads the configuration again.
sed -i 's/^EcType=A/EcType=R/' "$home/vorn.Ini"
waiting=$(waiting_count)
exec {line}<>"$home/terminal"
# A terminal that gets no prompt dials again; so does this one, and says so,
# since on this machine a gateway under Wine once let a first dial go unseen.
for attempt in 1 2 3; do
    printf '\v\v\v' >&"$line"
    prompt=
    IFS= read -r -N 13 -t 10 -u "$line" prompt || true
    [[ $prompt == '*DESTINATION:' ]] && break
    echo "payments under Wine: no prompt for dial $attempt of the reset call" >&2
done
[[ $prompt == '*DESTINATION:' ]] || fail "no prompt for the reset call"
printf 'IP127.0.0.1/%s\r\r\r' "$closed_port" >&"$line"
exec {line}>&-
await_waiting $((waiting + 1)) || fail "the failed connect did not reset the gateway"
sleep 0.5  # the reset empties the line's input just after it shows the status

pay AR "$ar_dialled" T0000002

log=$(find "$home/LOG" -name 'log*.txt' | head -n 1)
[[ -n $log ]] || fail "no daily log"
for tag in '[VER  ' '[CR   ' '[LR   ' '[SW   '; do
    grep -aqF "$tag" "$log" || fail "the daily log has no $tag line"
done
grep -aq $'\r$' "$log" || fail "the daily log's lines do not end in CR LF"
# The version line comes from the program's own version resource.
version=$(sed -n 's/^project(Tavorline VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
grep -aqE "^\[VER  [0-9:]{8}\]\[$version\]"$'\r$' "$log" ||
    fail "the daily log's version line does not show $version"

failed=0
echo "payments under Wine: LF over TLS and AR approved, records stored and read back"
