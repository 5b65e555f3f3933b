#!/usr/bin/env bash
# Runs a command with Wine's ANSI code page at 949, as on the shop's PC:
#   run_in_korean_locale.sh LOCALE_DIR COMMAND [ARGS...]
# Wine takes its code page from the Unix locale. Machines here often lack a
# compiled Korean one, so it is compiled once into LOCALE_DIR (a few seconds)
# and found there through LOCPATH, leaving the system's locales alone.
set -euo pipefail

locales=$1
shift
if [[ ! -e $locales/ko_KR.UTF-8/LC_CTYPE ]]; then
    mkdir -p "$locales"
    exec 9>"$locales.lock"
    flock 9
    if [[ ! -e $locales/ko_KR.UTF-8/LC_CTYPE ]]; then
        localedef -i ko_KR -f UTF-8 "$locales/ko_KR.UTF-8"
    fi
    exec 9>&-
fi
# Through env: bash itself would look for the locale without LOCPATH.
exec env LOCPATH="$locales" LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8 "$@"
