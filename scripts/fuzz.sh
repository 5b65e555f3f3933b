#!/usr/bin/env bash
# Fuzzes the terminal byte handler and the host receive hook for SECONDS each
# (default 30), starting from the corpora in fuzz/corpus. New inputs go to a
# scratch folder; copy the interesting ones into fuzz/corpus by hand.
# Longer run: scripts/fuzz.sh 1800
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-$root/build-asan}

if [[ ! -x "$build/bin/terminal_bytes_fuzz" ]]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DTAVORLINE_BUILD_SHELL=OFF \
        -DTAVORLINE_BUILD_BENCH=OFF -DTAVORLINE_SANITIZE=ON -DTAVORLINE_FUZZ=ON >/dev/null
    cmake --build "$build" -j 2 --target terminal_bytes_fuzz host_chunks_fuzz
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in terminal_bytes host_chunks; do
    mkdir -p "$scratch/$target"
    echo "fuzzing $target for ${seconds}s"
    "$build/bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        "$scratch/$target" "$root/fuzz/corpus/$target" 2>&1 | grep -E '^(stat::number_of_executed_units|Done|==|SUMMARY)' || true
    # libFuzzer exits non-zero on a crash; PIPESTATUS keeps that visible.
    status=${PIPESTATUS[0]}
    if ((status != 0)); then
        echo "fuzzing $target failed (exit $status)" >&2
        exit "$status"
    fi
done
