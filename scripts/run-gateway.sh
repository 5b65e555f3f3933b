#!/usr/bin/env bash
# Builds the gateway if needed and runs it headless with its files in HOME_DIR
# (default: ~/.local/share/tavorline). Extra arguments go to the program.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
home_dir=${HOME_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/tavorline}
mkdir -p "$home_dir"

if [[ ! -x "$root/build/bin/tavorline" ]]; then
    bash "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$root/build" >/dev/null
    cmake --build "$root/build" -j 2
fi
exec "$root/build/bin/tavorline" --headless --home "$home_dir" "$@"
