#!/usr/bin/env bash
# Runs a Windows serial test under Wine with COM9 on a Linux pty whose other
# end echoes every byte back (socat and cat), and COM10 and COM11 on the two
# ends of a pty pair, for a gateway and the terminal a test plays:
#   run_with_pty.sh PREFIX PROGRAM.exe RUNNER...
# RUNNER (cmake/wine-run.sh and its options) makes the prefix and runs the
# program. The test pulls the line out and plugs it back in through the
# commands in TAVORLINE_LINE_UNPLUG and TAVORLINE_LINE_PLUG, Unix programs
# that Wine starts for it; they call this script with "unplug DIR" and
# "plug DIR".
set -euo pipefail

script=$(readlink -f "$0")

# Each socat runs with a file named after its pid, which goes only once the
# socat has ended; so none outlives the test, and a plug never races the
# end of the socat before it (which removes the link as it goes).
plug() {
    local dir=$1
    wait_for_socats_to_end "$dir"
    rm -f "$dir/line"
    # Bounded too, for a run that ctest kills at its time-out before it can
    # clean up.
    timeout 300 socat -d -d "PTY,raw,echo=0,link=$dir/line" EXEC:cat >>"$dir/socat.log" 2>&1 &
    touch "$dir/socat.$!"
    for _ in $(seq 100); do
        [[ -e $dir/line ]] && return 0
        sleep 0.05
    done
    echo "run_with_pty.sh: socat made no pty" >&2
    cat "$dir/socat.log" >&2
    return 1
}

unplug() {
    local dir=$1 file
    for file in "$dir"/socat.[0-9]*; do
        [[ -e $file ]] && kill "${file##*.}" 2>/dev/null || true
    done
    wait_for_socats_to_end "$dir"
}

wait_for_socats_to_end() {
    local dir=$1 file pid
    for file in "$dir"/socat.[0-9]*; do
        [[ -e $file ]] || continue
        pid=${file##*.}
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        rm -f "$file"
    done
}

case ${1:-} in
    plug) plug "$2"; exit ;;
    unplug) unplug "$2"; exit ;;
esac

prefix=${TAVORLINE_WINEPREFIX:-$1}
program=$2
shift 2
runner=("$@")

dir=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-com.XXXXXX")
link=$prefix/dosdevices/com9
pair_links=("$prefix/dosdevices/com10" "$prefix/dosdevices/com11")
pair=
finish() {
    unplug "$dir"
    [[ -n $pair ]] && kill "$pair" 2>/dev/null
    rm -f "$link" "${pair_links[@]}"
    rm -rf "$dir"
}
trap finish EXIT
trap 'exit 1' INT TERM HUP PIPE

"${runner[@]}"
ln -sfn "$dir/line" "$link"
plug "$dir"
timeout 300 socat "PTY,raw,echo=0,link=$dir/gateway" "PTY,raw,echo=0,link=$dir/terminal" \
    2>>"$dir/socat.log" &
pair=$!
for _ in $(seq 100); do
    [[ -e $dir/terminal ]] && break
    sleep 0.05
done
ln -sfn "$dir/gateway" "${pair_links[0]}"
ln -sfn "$dir/terminal" "${pair_links[1]}"
export TAVORLINE_TEST_COM=9
export TAVORLINE_TEST_GATEWAY_COM=10 TAVORLINE_TEST_TERMINAL_COM=11
export TAVORLINE_LINE_PLUG="/bin/bash $script plug $dir"
export TAVORLINE_LINE_UNPLUG="/bin/bash $script unplug $dir"
# The wineserver opens the pty, which becomes its controlling terminal; the
# hang-up of an unplug sends it SIGHUP, on which it lists every object it
# holds. Those thousands of lines say nothing about the test.
"${runner[@]}" "$program" 2>&1 | grep -v -E '^ *(0x[0-9a-f]+:|[0-9a-f]{4}: (0x|ref=))'
