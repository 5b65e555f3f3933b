#!/usr/bin/env bash
# A day of payments through ONE gateway process: N approved payments (default
# 2000) back to back, terminal-sim on one end of a socat pty pair, the
# headless gateway on the other, host-sim as the payment hosts. Payments
# alternate between mode LF over TLS (EcType A) and mode AR after the RSA key
# exchange (EcType R).
#
# The gateway reads EcType when it loads vorn.Ini: at start and in every full
# reset. To change it without a restart the script does what a shop's
# settings change does: it rewrites EcType in vorn.Ini while the gateway is
# idle, then makes one call that dials VT to 127.0.0.1 port 1, where nothing
# listens. The failed connect runs the full reset, which loads the new
# EcType; the next payment uses it. VT keeps its port under either EcType, so
# this call logs the same lines every time.
#
# Checked: every payment approved (terminal-sim and host-sim agree), its
# LastData record stored (600 bytes, "D1", result "0000", and this payment's
# own terminal id in bytes 3..10), the day's log holding exactly the lines
# the calls produce (counted per tag), the gateway's resident memory
# (VmRSS) growing less than 2 MB and its open descriptors unchanged between
# the first checkpoint and the end. Checkpoints every 100 payments (fewer
# for short runs) print both.
#
#   scripts/soak.sh [N]     # BUILD_DIR selects the build tree (default build)
#   SOAK_KEEP=1 scripts/soak.sh 50   # keep the folder for a closer look
#
# Exit status: 0 every check held; 1 a check failed (the folder is kept);
# 2 bad command line; 130, 143 or 129 stopped by Ctrl+C, SIGTERM or a hang-up.
# Every program it started has ended by then.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/children.sh"
build=${BUILD_DIR:-$root/build}
bin=$build/bin
payments=${1:-2000}
if ! [[ $payments =~ ^[0-9]+$ ]] || ((payments < 2)); then
    echo "usage: scripts/soak.sh [N]   (N >= 2 payments, default 2000)" >&2
    exit 2
fi
if ((payments >= 200)); then every=100; else every=$(((payments + 4) / 5)); fi
# The port nobody listens on: the connect fails at once and runs the reset.
readonly closed_port=1
readonly grow_limit_kb=2048

for program in tavorline terminal-sim host-sim libVornLib.so; do
    [[ -e $bin/$program ]] || { echo "soak: $bin/$program is missing; build first" >&2; exit 1; }
done
command -v socat >/dev/null || { echo "soak: socat is missing" >&2; exit 1; }
if command -v ss >/dev/null && [[ -n $(ss -Htln "sport = :$closed_port") ]]; then
    echo "soak: something listens on 127.0.0.1:$closed_port; the reset call needs it closed" >&2
    exit 1
fi

home=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-soak.XXXXXX")
failed=1
cleanup() {
    end_children
    if ((failed)) || [[ -n ${SOAK_KEEP:-} ]]; then
        echo "soak: the folder stays: $home" >&2
    else
        rm -rf "$home"
    fi
}
trap cleanup EXIT
trap_stop_signals

fail() {
    echo "soak: FAILED: $*" >&2
    exit 1
}

# Waits (up to 15 s) until COMMAND prints a number of at least WANT.
await_count() {
    local want=$1
    shift
    local tries=300
    until (($("$@") >= want)); do
        ((--tries > 0)) || return 1
        sleep 0.05
    done
}

status_count() { grep -c -F -- "$1" "$home/gateway.txt" || true; }
waiting_count() { status_count '대기중 ...'; }
# The web screen is told after the record is stored: the end of the payment.
stored_count() { status_count '웹 화면 자료전송'; }
done_calls() { grep -c '== call [0-9]* done$' "$1" || true; }

# Starts host-sim NAME; sets host_port from the first line it prints. Not in
# a command substitution: the host's process id must reach end_children.
start_host() {
    local name=$1
    shift
    start_child "$bin/host-sim" --timeout 15 "$@" >"$home/$name-host.txt" 2>&1
    local tries=200
    until [[ $(head -n 1 "$home/$name-host.txt" 2>/dev/null) =~ ^[0-9]+$ ]]; do
        ((--tries > 0)) || fail "host-sim $name did not start: $(cat "$home/$name-host.txt")"
        sleep 0.05
    done
    host_port=$(head -n 1 "$home/$name-host.txt")
}

start_child socat "pty,raw,echo=0,link=$home/COM6" "pty,raw,echo=0,link=$home/terminal" \
    2>"$home/socat.txt"
tries=200
until [[ -e $home/COM6 && -e $home/terminal ]]; do
    ((--tries > 0)) || fail "socat made no pty pair"
    sleep 0.05
done

start_host lf --mode LF --tls
lf_port=$host_port
start_host ar --mode AR
ar_port=$host_port
ar_dialled=$((ar_port - 20000))

printf '[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\nEcType=A\r\nDnAddr=127.0.0.1\r\nDnPort=%s\r\nUpAddr=127.0.0.1\r\nUpPort=%s\r\n' \
    "$lf_port" "$closed_port" >"$home/vorn.Ini"
start_child "$bin/tavorline" --headless --home "$home" >"$home/gateway.txt" \
    2>"$home/gateway-errors.txt"
gateway=$child
await_count 1 waiting_count || fail "the gateway did not start: $(cat "$home/gateway-errors.txt")"
ec_type=A

# Sets EcType in vorn.Ini (replaced in one step, as the gateway replaces it).
set_ec_type() {
    sed "s/^EcType=[^\r]*/EcType=$1/" "$home/vorn.Ini" >"$home/vorn.Ini.new"
    mv "$home/vorn.Ini.new" "$home/vorn.Ini"
}

# The call that makes the gateway reset: VT to the closed port.
reset_call() {
    local waiting line prompt=''
    waiting=$(waiting_count)
    exec {line}<>"$home/terminal"
    printf '\v\v\v' >&"$line"
    IFS= read -r -N 13 -t 10 -u "$line" prompt || true
    [[ $prompt == '*DESTINATION:' ]] || fail "no prompt for the reset call (got '$prompt')"
    printf 'IP127.0.0.1/%s\r\r\r' "$closed_port" >&"$line"
    exec {line}>&-
    await_count $((waiting + 1)) waiting_count || fail "the failed connect did not reset the gateway"
    # The reset empties the line's input just after it shows "대기중 ...";
    # terminal-sim's line check would otherwise often go into that void.
    sleep 0.2
}

gateway_rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$gateway/status"; }
gateway_fds() { find "/proc/$gateway/fd" -mindepth 1 -maxdepth 1 | wc -l; }

lf_paid=0 ar_paid=0 resets=0
base_rss='' base_fds='' base_at=''
started=$(date +%s)
echo "soak: $payments payments, LF over TLS (host-sim :$lf_port) and AR (host-sim :$ar_port," \
    "dialled $ar_dialled), gateway pid $gateway, folder $home"
printf '%9s %14s %9s %6s %9s\n' payment 'LF, AR paid' VmRSS fds elapsed
for ((payment = 1; payment <= payments; payment++)); do
    if ((payment % 2)); then mode=LF type=A port=$lf_port; else mode=AR type=R port=$ar_dialled; fi
    if [[ $type != "$ec_type" ]]; then
        set_ec_type "$type"
        reset_call
        ec_type=$type
        resets=$((resets + 1))
    fi
    terminal_id=$(printf 'T%07d' "$payment")
    if ! run_child "$bin/terminal-sim" --device "$home/terminal" --line-check --mode LF \
        --dest "127.0.0.1/$port" --field "2=$terminal_id" --expect approved --timeout 15 \
        >"$home/terminal.txt" 2>&1; then
        cp "$home/terminal.txt" "$home/terminal-failed-$payment.txt"
        fail "payment $payment ($mode) was not approved: $(tail -n 3 "$home/terminal.txt")"
    fi
    await_count "$payment" stored_count || fail "payment $payment ($mode): no record stored"
    record=$(grep -a '^LastData=' "$home/vorn.Ini" | sed -e 's/\r$//' -e 's/^LastData=//' -e 's/^"//' -e 's/"$//')
    [[ ${#record} == 600 && ${record:0:2} == D1 && ${record:2:8} == "$terminal_id" && ${record:306:4} == 0000 ]] ||
        fail "payment $payment ($mode): LastData is not this approval: \"$record\""
    if [[ $mode == LF ]]; then lf_paid=$((lf_paid + 1)); else ar_paid=$((ar_paid + 1)); fi

    if ((payment % every == 0 || payment == payments)); then
        # Past the second a dropped host connection is given to close.
        sleep 1.5
        rss=$(gateway_rss_kb)
        fds=$(gateway_fds)
        printf '%9d %14s %6s kB %6d %8ds\n' "$payment" "$lf_paid, $ar_paid" "$rss" "$fds" \
            $(($(date +%s) - started))
        if [[ -z $base_rss ]]; then base_rss=$rss base_fds=$fds base_at=$payment; fi
    fi
done

# Every call each host served was kept to its script.
await_count "$lf_paid" done_calls "$home/lf-host.txt" || fail "host-sim LF did not finish $lf_paid calls"
await_count "$ar_paid" done_calls "$home/ar-host.txt" || fail "host-sim AR did not finish $ar_paid calls"
for name in lf ar; do
    if grep -q 'FAILED' "$home/$name-host.txt"; then
        fail "host-sim $name: $(grep 'FAILED' "$home/$name-host.txt" | head -n 3)"
    fi
done
[[ ! -s $home/gateway-errors.txt ]] || fail "the gateway reported errors: $(head -n 5 "$home/gateway-errors.txt")"
kill -0 "$gateway" 2>/dev/null || fail "the gateway is gone"

# The lines each kind of call writes to the day's log, per tag:
#   LF over TLS: CHCK line check; VER; HOST the host's key, connected,
#     disconnected; SW ENQ;
#     SOCK "Connected.", "Disconnecting.", "Disconnected."; CR request;
#     LR response, three ESC; SR the terminal's ACK, its CCCCC, and the
#     empty request of the forwarding timer, which the CCCCC leaves running.
#   AR: the same, and SOCK "Connecting to 127.0.0.1." (plain TCP).
#   reset call: VER; SOCK "Connecting to"; HOST connect failed.
# and an empty line before every VER; at start, DLL names the cipher library.
calls=$((payments + resets))
declare -A expected=(
    [DLL]=1 [CHCK]=$payments [VER]=$calls [HOST]=$((2 * payments + lf_paid + resets))
    [SW]=$payments
    [SOCK]=$((3 * lf_paid + 4 * ar_paid + resets)) [CR]=$payments [LR]=$((2 * payments))
    [SR]=$((3 * payments)) [empty]=$calls
)
log=$(cat "$home"/LOG/log*.txt | tr -d '\r')
declare -A counted=()
while IFS= read -r tag; do counted[$tag]=$(( ${counted[$tag]:-0} + 1 )); done < <(
    LC_ALL=C awk '/^$/ { print "empty"; next } { tag = substr($0, 2, 4); sub(/ +$/, "", tag); print tag }' <<<"$log")
log_ok=1
printf '\n%-6s %8s %8s\n' tag expected logged
for tag in $(printf '%s\n' "${!expected[@]}" "${!counted[@]}" | sort -u); do
    printf '%-6s %8s %8s\n' "$tag" "${expected[$tag]:-0}" "${counted[$tag]:-0}"
    [[ ${expected[$tag]:-0} == "${counted[$tag]:-0}" ]] || log_ok=0
done
((log_ok)) || fail "the day's log does not hold the lines $payments payments and $resets resets make"

growth=$((rss - base_rss))
echo
echo "payments approved: $payments (LF over TLS $lf_paid, AR $ar_paid), resets for EcType: $resets," \
    "in $(($(date +%s) - started)) s"
echo "VmRSS: $base_rss kB at payment $base_at, $rss kB at payment $payments: growth $growth kB" \
    "(limit $grow_limit_kb kB)"
echo "open descriptors: $base_fds at payment $base_at, $fds at payment $payments"
((growth < grow_limit_kb)) || fail "resident memory grew by $growth kB"
((fds == base_fds)) || fail "open descriptors went from $base_fds to $fds"
failed=0
echo "soak: all checks held"
