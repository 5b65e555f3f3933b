#!/usr/bin/env bash
# Fuzzes every target for SECONDS each (default 10), starting from the
# corpora in fuzz/corpus: the terminal byte handler, the host receive hook,
# the web bridge's frames, WM_COPYDATA blocks and the settings file's reader
# and writer. New inputs go to a scratch folder; copy the interesting ones
# into fuzz/corpus by hand.
# Longer run: scripts/fuzz.sh 1800
# The targets are built with AddressSanitizer and UBSan, which find the
# memory faults a crash alone does not show, at a third to half the speed;
# FUZZ_SANITIZE=OFF builds them without (in build-fuzz), for covering ground
# fast: their own checks and any crash still stop the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/children.sh"
seconds=${1:-10}
targets=(terminal_bytes host_chunks web_bridge_frames copy_data settings_file)
sanitize=${FUZZ_SANITIZE:-ON}
if [[ $sanitize == ON ]]; then
    build=${FUZZ_BUILD_DIR:-$root/build-asan}
else
    build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
fi

missing=()
for target in "${targets[@]}"; do
    [[ -x "$build/bin/${target}_fuzz" ]] || missing+=("${target}_fuzz")
done
if ((${#missing[@]} > 0)); then
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DTAVORLINE_BUILD_SHELL=OFF \
        -DTAVORLINE_BUILD_BENCH=OFF -DTAVORLINE_SANITIZE="$sanitize" -DTAVORLINE_FUZZ=ON >/dev/null
    cmake --build "$build" -j 2 --target "${missing[@]}"
fi

scratch=$(mktemp -d)
trap 'end_children; rm -rf "$scratch"' EXIT
trap_stop_signals
for target in "${targets[@]}"; do
    mkdir -p "$scratch/$target"
    echo "fuzzing $target for ${seconds}s"
    # Not in the foreground: a SIGTERM to this script ends the fuzzer too,
    # rather than waiting for it to run its time out.
    status=0
    run_child "$build/bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        "$scratch/$target" "$root/fuzz/corpus/$target" >"$scratch/$target.txt" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|Done|==|SUMMARY)' "$scratch/$target.txt" || true
    if ((status != 0)); then
        echo "fuzzing $target failed (exit $status)" >&2
        exit "$status"
    fi
done
