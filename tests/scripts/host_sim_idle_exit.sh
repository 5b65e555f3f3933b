#!/usr/bin/env bash
# host-sim ends by itself once nobody has called for --idle-exit seconds,
# counted from the end of the last call rather than from its start: a call
# made after 1.5 s keeps a host-sim with --idle-exit 3 for 3 s more. The
# times come from host-sim's own time stamps, so a slow machine only moves
# them all.
#
#   tests/scripts/host_sim_idle_exit.sh   # BUILD_DIR: the build tree
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
source "$root/scripts/children.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-idle.XXXXXX")
trap 'end_children; rm -rf "$work"' EXIT
trap_stop_signals

fail() {
    echo "FAILED: $*" >&2
    cat "$work/host.txt" >&2
    exit 1
}

start_child "$build/bin/host-sim" --mode VT --idle-exit 3 >"$work/host.txt" 2>&1
host=$child
for ((tries = 200; tries > 0; tries--)); do
    [[ $(head -n 1 "$work/host.txt") =~ ^[0-9]+$ ]] && break
    sleep 0.05
done
port=$(head -n 1 "$work/host.txt")
[[ $port =~ ^[0-9]+$ ]] || fail "host-sim did not start"

# A caller that hangs up at once: the call fails, and ends.
sleep 1.5
exec {caller}<>"/dev/tcp/127.0.0.1/$port"
exec {caller}>&-

# host-sim exits by itself; the limit only stops a broken one.
status=0
for ((tries = 300; tries > 0; tries--)); do
    kill -0 "$host" 2>/dev/null || break
    sleep 0.05
done
wait "$host" || status=$?
((tries > 0)) || fail "host-sim still runs 15 s after the call"
((status == 1)) || fail "host-sim ended with $status, not 1 (a call failed)"

# Milliseconds of the day of the first line holding TEXT.
stamp_of() {
    awk -v text="$1" 'index($0, text) {
        split($1, t, /[:.]/); print ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4]; exit }' \
        "$work/host.txt"
}
listening=$(stamp_of 'listening on')
call_ended=$(stamp_of '== call 1 FAILED')
ended=$(stamp_of '== no call for 3 s: host-sim ends')
[[ -n $listening && -n $call_ended && -n $ended ]] || fail "host-sim did not report its call and its end"
idle=$((ended - call_ended))
# Counted from the start it would end 1.5 s after the call.
((idle >= 3000)) || fail "it ended ${idle} ms after the call, not 3 s"
echo "host-sim called after $((call_ended - listening)) ms, ended ${idle} ms after the call"
