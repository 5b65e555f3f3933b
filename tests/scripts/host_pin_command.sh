#!/usr/bin/env bash
# --host-pin against the TLS test host: it prints the pin openssl computes
# for the host's key, --save adds that pin to TlsPin and leaves every other
# key and pin as it was, and a host that cannot be reached exits non-zero.
# Run through tests/windows/run_with_tls_hosts.sh, which starts the host:
#   host_pin_command.sh [FOLDER_PREFIX] PROGRAM [EMULATOR]
# FOLDER_PREFIX ("Z:" under Wine) is put before the folder given to --home.
set -euo pipefail

prefix=$1
program=$2
emulator=("${@:3}")
: "${TAVORLINE_TLS_HOST_PORT:?run through run_with_tls_hosts.sh}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

other=sha256/QkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkJCQkI=
printf '[VORN]\r\nEcPort=6\r\nTlsPin=%s\r\nDnAddr=10.1.1.1\r\n' "$other" >"$work/vorn.Ini"
cp "$work/vorn.Ini" "$work/before.Ini"

run() { "${emulator[@]}" "$program" --home "$prefix$work" "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$(run --host-pin "127.0.0.1:$TAVORLINE_TLS_HOST_PORT") || fail "--host-pin exited $?"
echo "$out"
grep -q "^pin: *$TAVORLINE_TLS_HOST_PIN\r\?\$" <<<"$out" ||
    fail "pin is not openssl's $TAVORLINE_TLS_HOST_PIN"
grep -q "^subject: *CN=test" <<<"$out" || fail "no subject"
cmp -s "$work/vorn.Ini" "$work/before.Ini" || fail "vorn.Ini changed without --save"

run --host-pin "127.0.0.1:$TAVORLINE_TLS_HOST_PORT" --save >/dev/null || fail "--save exited $?"
printf '[VORN]\r\nEcPort=6\r\nTlsPin=%s,%s\r\nDnAddr=10.1.1.1\r\n' "$other" \
    "$TAVORLINE_TLS_HOST_PIN" >"$work/expected.Ini"
cmp "$work/vorn.Ini" "$work/expected.Ini" || { cat -A "$work/vorn.Ini"; fail "--save"; }

if run --host-pin 127.0.0.1:1 >/dev/null 2>"$work/error"; then fail "no host, yet exit 0"; fi
cat "$work/error"
echo PASS
