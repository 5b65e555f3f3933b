#!/usr/bin/env bash
# Fuzzes the terminal byte handler and the host receive hook for SECONDS each
# (default 30), starting from the corpora in fuzz/corpus. New inputs go to a
# scratch folder; copy the interesting ones into fuzz/corpus by hand.
# Longer run: scripts/fuzz.sh 1800
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/children.sh"
seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-$root/build-asan}

if [[ ! -x "$build/bin/terminal_bytes_fuzz" ]]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DTAVORLINE_BUILD_SHELL=OFF \
        -DTAVORLINE_BUILD_BENCH=OFF -DTAVORLINE_SANITIZE=ON -DTAVORLINE_FUZZ=ON >/dev/null
    cmake --build "$build" -j 2 --target terminal_bytes_fuzz host_chunks_fuzz
fi

scratch=$(mktemp -d)
trap 'end_children; rm -rf "$scratch"' EXIT
trap_stop_signals
for target in terminal_bytes host_chunks; do
    mkdir -p "$scratch/$target"
    echo "fuzzing $target for ${seconds}s"
    # Not in the foreground: a SIGTERM to this script ends the fuzzer too,
    # rather than waiting for it to run its time out.
    status=0
    run_child "$build/bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        "$scratch/$target" "$root/fuzz/corpus/$target" >"$scratch/$target.txt" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|Done|==|SUMMARY)' "$scratch/$target.txt" || true
    if ((status != 0)); then
        echo "fuzzing $target failed (exit $status)" >&2
        exit "$status"
    fi
done
