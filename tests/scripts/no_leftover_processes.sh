#!/usr/bin/env bash
# The demo and the soak leave no process behind: not after a demo, a short
# soak, a soak whose first payment fails, nor a soak stopped by SIGTERM or by
# Ctrl+C (SIGINT to its whole process group, as a terminal sends it).
#
# Every run has a tag of its own in its environment, which every program it
# starts inherits; whatever still carries the tag once the run has ended was
# left behind. The checker first proves it finds such a process.
#
#   tests/scripts/no_leftover_processes.sh   # BUILD_DIR: the build tree
set -euo pipefail
# Job control: every run in a process group of its own, with SIGINT at its
# default as in a terminal. (Not setsid: the soak would make its pty the
# controlling terminal of a new session and get SIGHUP when socat closes it.)
set -m

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
# Of this test alone: another one may run at the same time.
readonly tag=TAVORLINE_LEFTOVER_CHECK_$$
work=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-leftovers.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The folders the failed and stopped soaks keep go with this test's own.
export TMPDIR=$work
failures=0

fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# The process ids of the processes tagged RUN.
tagged() {
    grep -lsxz -- "$tag=$1" /proc/[0-9]*/environ | sed 's|^/proc/\([0-9]*\)/environ$|\1|' || true
}

# Fails RUN when some of its processes are still there, and ends them, so
# that this test leaves nothing either.
expect_none_left() {
    local run=$1 pids
    pids=$(tagged "$run")
    [[ -z $pids ]] && return 0
    fail "$run left: $(for pid in $pids; do tr '\0' ' ' <"/proc/$pid/cmdline"; echo; done)"
    kill $pids 2>/dev/null || true
}

# Runs COMMAND tagged RUN, with its output in $work/RUN.txt. Should this test
# be killed, the run gets SIGTERM and ends what it started.
start_tagged() {
    local run=$1
    shift
    setpriv --pdeathsig TERM -- env "$tag=$run" "$@" >"$work/$run.txt" 2>&1 &
    started=$!
}

# RUN ran to STATUS and printed a line matching PATTERN: it did run.
expect_run() {
    local run=$1 want=$2 pattern=$3 status=0
    wait "$started" || status=$?
    ((status == want)) || fail "$run ended with $status, not $want: $(tail -n 5 "$work/$run.txt")"
    grep -q -- "$pattern" "$work/$run.txt" || fail "$run did not print '$pattern'"
    expect_none_left "$run"
}

# Waits (up to 60 s) until RUN has printed a line matching PATTERN.
await_output() {
    local run=$1 pattern=$2 tries=1200
    until grep -q -- "$pattern" "$work/$run.txt"; do
        ((--tries > 0)) || return 1
        sleep 0.05
    done
}

# The checker sees a process left behind (tagged once `env` has run).
start_tagged self-check sleep 60
sleeper=$started
for ((tries = 100; tries > 0; tries--)); do
    left=$(tagged self-check)
    [[ -z $left ]] || break
    sleep 0.05
done
[[ $left == "$sleeper" ]] || fail "the checker found '$left', not the sleeping $sleeper"
kill "$sleeper"
wait "$sleeper" 2>/dev/null || true

export BUILD_DIR=$build
start_tagged demo bash "$root/scripts/demo.sh"
expect_run demo 0 'both payments approved'

start_tagged soak bash "$root/scripts/soak.sh" 2
expect_run soak 0 'soak: all checks held'

# A terminal that wants a decline: the first payment, approved, fails the soak
# once the hosts and the gateway run.
mkdir -p "$work/declining/bin"
for program in tavorline host-sim libVornLib.so; do
    ln -s "$build/bin/$program" "$work/declining/bin/$program"
done
printf '#!/bin/sh\nexec "%s" "$@" --expect declined\n' "$build/bin/terminal-sim" \
    >"$work/declining/bin/terminal-sim"
chmod +x "$work/declining/bin/terminal-sim"
BUILD_DIR=$work/declining start_tagged failing-soak bash "$root/scripts/soak.sh" 2
expect_run failing-soak 1 'payment 1 (LF) was not approved'

# Stopped in the middle of a long soak, once everything has started: `kill`
# signals the script alone, Ctrl+C its whole process group.
declare -A stopped_status=([TERM]=143 [INT]=130)
for stop in TERM INT; do
    start_tagged "soak-$stop" bash "$root/scripts/soak.sh" 2000
    if ! await_output "soak-$stop" '^soak: 2000 payments'; then
        fail "soak-$stop did not start: $(tail -n 5 "$work/soak-$stop.txt")"
        kill -KILL -- "-$started"
    elif [[ $stop == TERM ]]; then
        kill -TERM "$started"
    else
        kill -INT -- "-$started"
    fi
    expect_run "soak-$stop" "${stopped_status[$stop]}" '^soak: 2000 payments'
done

((failures == 0)) || exit 1
echo "no process was left behind"
