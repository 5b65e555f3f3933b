#!/usr/bin/env bash
# Runs a Windows test program with the TLS test hosts listening on
# 127.0.0.1, their ports in TAVORLINE_TLS_HOST_PORT and
# TAVORLINE_TLS11_HOST_PORT, and the pin of its key as openssl computes it
# in TAVORLINE_TLS_HOST_PIN:
#   run_with_tls_hosts.sh COMMAND [ARGS...]
# The program has no TLS server of its own (no OpenSSL for mingw), so a
# throwaway certificate and tls_test_host.py serve it from the Linux side.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
host_pid=
finish() {
    if [[ -n $host_pid ]]; then
        kill "$host_pid" 2>/dev/null || true
        wait "$host_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap finish EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=test \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
TAVORLINE_TLS_HOST_PIN=sha256/$(openssl x509 -pubkey -noout -in "$work/cert.pem" |
    openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64)
export TAVORLINE_TLS_HOST_PIN
coproc HOSTS { exec python3 "$here/tls_test_host.py" "$work/cert.pem" "$work/key.pem"; }
host_pid=$HOSTS_PID
read -r TAVORLINE_TLS_HOST_PORT TAVORLINE_TLS11_HOST_PORT <&"${HOSTS[0]}"
export TAVORLINE_TLS_HOST_PORT TAVORLINE_TLS11_HOST_PORT
"$@"
