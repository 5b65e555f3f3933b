#!/usr/bin/env bash
# Two whole approved payments with real processes and no hardware: the
# gateway (headless), terminal-sim on one end of a socat pty pair and
# host-sim as the payment host. The first payment dials in mode LF and goes
# over TLS; the second runs after the RSA key exchange of mode AR (EcType R,
# so the gateway restarts to read it). Then it prints the day's log and the
# stored LastData record, and removes everything it started.
#
#   scripts/demo.sh            # builds first if needed
#   scripts/demo.sh --verbose  # every byte both simulators saw, in hex too
#   scripts/demo.sh --keep     # keep the demo folder for a closer look
#
# Every program it starts has ended when it exits, also after a failure, Ctrl+C
# (status 130), SIGTERM (143) or a hang-up (129).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/children.sh"
build=${BUILD_DIR:-$root/build}
bin=$build/bin
verbose=0
keep=0
for argument in "$@"; do
    case $argument in
        --verbose) verbose=1 ;;
        --keep) keep=1 ;;
        -h | --help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
        *) echo "demo: unknown option $argument" >&2; exit 2 ;;
    esac
done

if [[ ! -x $bin/tavorline || ! -x $bin/terminal-sim || ! -x $bin/host-sim ]]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j "${JOBS:-2}" --target tavorline VornLib terminal-sim host-sim
fi
if ! command -v socat >/dev/null; then
    echo "demo: socat is missing; scripts/install-deps.sh installs it" >&2
    exit 1
fi

started=$(date +%s.%N)
home=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-demo.XXXXXX")
gateway_pid='' host_pid=''

cleanup() {
    end_children
    if ((keep)); then
        echo "demo: the folder stays: $home"
    else
        rm -rf "$home"
    fi
}
trap cleanup EXIT
trap_stop_signals

fail() {
    echo "demo: $*" >&2
    exit 1
}

# Waits (up to 10 s) until FILE holds a line matching PATTERN.
await_line() {
    local file=$1 pattern=$2 tries=200
    until grep -q -- "$pattern" "$file" 2>/dev/null; do
        ((--tries > 0)) || return 1
        sleep 0.05
    done
}

# Control bytes shown by name, so that log lines read well on a terminal.
readable() {
    LC_ALL=C sed -e 's/\r$//' -e 's/\x02/<STX>/g' -e 's/\x03/<ETX>/g' -e 's/\x05/<ENQ>/g' \
        -e 's/\x06/<ACK>/g' -e 's/\x0f/<SI>/g' -e 's/\x1b/<ESC>/g' -e 's/\x1c/<FS>/g' \
        -e 's/[\x00-\x08\x0b\x0c\x0e-\x1f\x7f]/./g'
}

# With --verbose everything a simulator printed; otherwise the terminal's
# messages as text and the host's one headline per message.
show() {
    local file=$1 side=$2
    if ((verbose)); then
        sed 's/^/    /' "$file"
    elif [[ $side == terminal ]]; then
        grep -Ev '^    ([0-9a-f]{4} |\.\.\. \()' "$file" | sed 's/^/    /'
    else
        grep -E '^[0-9]{2}:' "$file" | sed 's/^/    /'
    fi
}

start_socat() {
    start_child socat "pty,raw,echo=0,link=$home/COM6" "pty,raw,echo=0,link=$home/terminal"
    local tries=200
    until [[ -e $home/COM6 && -e $home/terminal ]]; do
        ((--tries > 0)) || fail "socat made no pty pair"
        sleep 0.05
    done
}

# host-sim for one call; sets host_port from the first line it prints. The
# call comes within seconds; --wait ends a host-sim that nobody calls.
start_host() {
    local log=$1
    shift
    start_child "$bin/host-sim" --once --wait 60 "$@" >"$log" 2>&1
    host_pid=$child
    await_line "$log" '^[0-9][0-9]*$' || fail "host-sim did not start: $(cat "$log")"
    host_port=$(head -n 1 "$log")
}

start_gateway() {
    local log=$1
    start_child "$bin/tavorline" --headless --home "$home" >"$log" 2>&1
    gateway_pid=$child
    await_line "$log" '대기중' || fail "the gateway did not start: $(cat "$log")"
}

write_ini() {
    local ec_type=$1 dn_port=$2
    printf '[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\nEcType=%s\r\nDnAddr=127.0.0.1\r\nDnPort=%s\r\nAdslAddr=127.0.0.1\r\nAdslSPort=9100\r\nAdslCPort=9100\r\nUpAddr=127.0.0.1\r\nUpPort=9200\r\n' \
        "$ec_type" "$dn_port" >"$home/vorn.Ini"
}

# Sets `record` to the LastData record the gateway stored in vorn.Ini (quoted
# there, as it ends in blanks); fails when there is none or no approval.
stored_record() {
    record=$(grep -a '^LastData=' "$home/vorn.Ini" | sed -e 's/\r$//' -e 's/^LastData=//' -e 's/^"//' -e 's/"$//') ||
        fail "no LastData record was stored"
    ((${#record} == 600)) || fail "LastData is ${#record} bytes, not 600"
    [[ ${record:306:4} == 0000 ]] || fail "LastData does not hold an approval"
    local approval=${record:11:24}
    echo "-- LastData stored: transaction ${record:0:2}, approval number ${approval%% *}, result code ${record:306:4}"
}

# One payment: terminal-sim dials LF to DESTINATION and expects an approval.
pay() {
    local title=$1 destination=$2 name=$3
    echo "== $title"
    local status=0
    # The line check first: it is answered once the gateway listens.
    run_child "$bin/terminal-sim" --device "$home/terminal" --line-check --mode LF \
        --dest "$destination" --expect approved >"$home/$name-terminal.txt" 2>&1 || status=$?
    # A terminal that failed may never have called: then the host would wait.
    if ((status == 0)); then
        wait "$host_pid" || status=$?
    fi
    end_children "$host_pid"
    host_pid=''
    echo "-- the terminal (terminal-sim):"
    show "$home/$name-terminal.txt" terminal
    echo "-- the host (host-sim):"
    show "$home/$name-host.txt" host
    echo "-- the gateway's status lines:"
    sed 's/^/    /' "$home/$name-gateway.txt"
    ((status == 0)) || fail "the $name payment failed"
    stored_record
}

echo "== Tavorline demo in $home"
start_socat

# Payment 1: mode LF over TLS (EcType A).
start_host "$home/tls-host.txt" --mode LF --tls
write_ini A "$host_port"
start_gateway "$home/tls-gateway.txt"
pay "payment 1: mode LF over TLS, host-sim on 127.0.0.1:$host_port" "127.0.0.1/$host_port" tls
end_children "$gateway_pid"
gateway_pid=''

# Payment 2: EcType R turns LF into mode AR, plain TCP to the port + 20000.
# The gateway reads EcType at start, so it starts again on a fresh vorn.Ini.
start_host "$home/ar-host.txt" --mode AR
dialled=$((host_port - 20000))
write_ini R "$dialled"
start_gateway "$home/ar-gateway.txt"
pay "payment 2: mode AR (EcType R), dialled port $dialled, host-sim on 127.0.0.1:$host_port" \
    "127.0.0.1/$dialled" ar
end_children "$gateway_pid"
gateway_pid=''

log_file=$home/LOG/log$(date +%Y%m%d).txt
echo "== the day's log, $log_file (CP949, shown in UTF-8):"
iconv -c -f CP949 -t UTF-8 "$log_file" | readable | sed 's/^/    /'

echo "== LastData in vorn.Ini (${#record} bytes):"
echo "    \"$record\""

finished=$(date +%s.%N)
echo "== both payments approved in $(awk -v a="$started" -v b="$finished" 'BEGIN { printf "%.1f", b - a }') s"
