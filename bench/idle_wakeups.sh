#!/usr/bin/env bash
# How often an idle headless gateway wakes up: context switches of all its
# threads over SECONDS (default 10), with the terminal line open on a pty.
# Also prints its resident memory. Usage: bench/idle_wakeups.sh [SECONDS]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/children.sh"
seconds=${1:-10}
binary=${TAVORLINE:-$root/build/bin/tavorline}
home=$(mktemp -d)
trap 'end_children; rm -rf "$home"' EXIT
trap_stop_signals

start_child socat pty,raw,echo=0,link="$home/COM6" pty,raw,echo=0,link="$home/terminal"
for _ in $(seq 50); do [[ -e "$home/COM6" ]] && break; sleep 0.1; done
printf '[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\nEcType=A\r\n' > "$home/vorn.Ini"

start_child "$binary" --headless --home "$home" > "$home/status.txt"
gateway=$child
run_child sleep 2  # in `wait`: SIGTERM need not wait for the sleep

switches() {
    local total=0
    for status in /proc/"$gateway"/task/*/status; do
        local voluntary nonvoluntary
        voluntary=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$status")
        nonvoluntary=$(awk '/^nonvoluntary_ctxt_switches/ {print $2}' "$status")
        total=$((total + voluntary + nonvoluntary))
    done
    echo "$total"
}

before=$(switches)
run_child sleep "$seconds"
after=$(switches)
threads=$(ls /proc/"$gateway"/task | wc -l)
rss=$(awk '/^VmRSS/ {print $2, $3}' /proc/"$gateway"/status)
echo "idle for ${seconds}s: $((after - before)) context switches over $threads threads" \
     "($(awk -v n=$((after - before)) -v s="$seconds" 'BEGIN {printf "%.1f", n / s}') per second)"
echo "resident memory when idle: $rss"
