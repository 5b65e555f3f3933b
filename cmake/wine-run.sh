#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix and exits with its
# exit code:  wine-run.sh [--prefix DIR] [--wine64] [--x11] [PROGRAM.exe [ARGS...]]
# Without a program it only makes the prefix, as a test run does first:
# test discovery allows each program a few seconds, not the prefix's 30.
# TAVORLINE_WINEPREFIX overrides DIR; without either a folder under /tmp is
# used, never ~/.wine. The prefix is made on first use with the null
# graphics driver, so windows work without an X display; --x11 makes it with
# Wine's X driver instead, for programs that need the notification area (run
# them on an X display such as Xvfb's). --wine64 runs a 64-bit program with
# the 64-bit loader alone, for kernels that cannot execute the 32-bit one.
set -euo pipefail

default_prefix=${TMPDIR:-/tmp}/tavorline-wine-$(id -u)
wine=(wine)
graphics=null
while (($# > 0)); do
    case $1 in
        --prefix) default_prefix=$2; shift 2 ;;
        --wine64) wine=(/usr/lib/wine/wine64); export WINELOADER=${wine[0]}; shift ;;
        --x11) graphics=x11; shift ;;
        *) break ;;
    esac
done
export WINEPREFIX=${TAVORLINE_WINEPREFIX:-$default_prefix}
export WINEDEBUG=-all
# No Mono or Gecko download prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

ready_mark=$WINEPREFIX/.tavorline-ready
if [[ ! -e $ready_mark ]]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # ctest starts several programs at once: one makes the prefix while the
    # others wait for it.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [[ ! -e $ready_mark ]]; then
        setup_log=$WINEPREFIX.setup.log
        if ! { "${wine[@]}" wineboot --init &&
               "${wine[@]}" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f &&
               wineserver -w; } >"$setup_log" 2>&1; then
            echo "wine-run.sh: could not make the Wine prefix $WINEPREFIX:" >&2
            cat "$setup_log" >&2
            exit 1
        fi
        touch "$ready_mark"
    fi
    exec 9>&-
fi

if (($# > 0)); then
    exec "${wine[@]}" "$@"
fi
