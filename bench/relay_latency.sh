#!/usr/bin/env bash
# The delay the gateway adds, measured against socat on this machine, and
# what an idle gateway costs: builds what is missing, then runs
#   relay_latency   host -> terminal and terminal -> host, the gateway in
#                   mode VT (plain TCP) against socat, and in mode LF over
#                   TLS; start-up to ready; resident memory when idle
#   idle_wakeups.sh wake-ups per second of an idle gateway (median of runs)
# and prints the tables. A shared machine is noisy: every figure is the
# median of several runs, and the load average is printed with them.
#
#   bench/relay_latency.sh [RUNS] [MESSAGES]   # default 5 runs of 250 messages
# BUILD_DIR selects the build tree (default build).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/children.sh"
build=${BUILD_DIR:-$root/build}
runs=${1:-5}
messages=${2:-250}
wakeup_runs=3
wakeup_seconds=10

if [[ ! -x $build/bin/relay_latency || ! -x $build/bin/tavorline ]]; then
    cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j "${JOBS:-2}" --target relay_latency tavorline VornLib
fi
command -v socat >/dev/null || { echo "relay_latency: socat is missing" >&2; exit 1; }
# The measurements run as children, so that Ctrl+C or SIGTERM ends them with
# this script rather than after their own time.
report=$(mktemp)
trap 'end_children; rm -f "$report"' EXIT
trap_stop_signals

echo "== $(nproc) CPUs, load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
run_child "$build/bin/relay_latency" --runs "$runs" --messages "$messages"

echo
echo "== idle gateway: $wakeup_runs runs of ${wakeup_seconds} s"
rates=()
for ((run = 1; run <= wakeup_runs; run++)); do
    TAVORLINE=$build/bin/tavorline run_child bash "$root/bench/idle_wakeups.sh" \
        "$wakeup_seconds" >"$report"
    line=$(head -n 1 "$report")
    echo "   $line"
    rates+=("$(sed -n 's/.*(\([0-9.]*\) per second).*/\1/p' <<<"$line")")
done
median=$(printf '%s\n' "${rates[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "wake-ups per second while idle: median $median"
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
