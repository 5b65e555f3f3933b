#!/usr/bin/env bash
# The headless Windows gateway answers the terminal's line check every time,
# for 30 s, while other Wine programs start one after another: under Wine
# the serial line's waits are busiest then, and a lost wait result once
# silenced the line for good.
#
#   line_check_under_load.sh PREFIX WINDOWS_BIN [--wine64]
#
# WINDOWS_BIN holds tavorline.exe and tavorline-web.exe; PREFIX is the Wine
# prefix (made on first use). COM7 of the prefix is put on a pty pair.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(readlink -f "$1")
windows_bin=$2
shift 2
wine_run=("$root/cmake/wine-run.sh" --prefix "$prefix" "$@")
readonly com_number=7
readonly seconds=${LINE_CHECK_SECONDS:-30}
readonly check_every=0.3
readonly answer_within=2

readonly title="line check under load" slug=line-check
source "$root/tests/windows/gateway_line.sh"

printf '[VORN]\r\nEcPort=%s\r\nEcSpeed=9600\r\n' "$com_number" >"$home/vorn.Ini"
start_child "${wine_run[@]}" "$windows_bin/tavorline.exe" --headless --home "Z:${home//\//\\}" \
    >"$home/gateway.txt" 2>"$home/gateway-errors.txt"
await grep -q '대기중 \.\.\.' "$home/gateway.txt" ||
    fail "the gateway did not start: $(cat "$home/gateway-errors.txt")"

# Other Wine programs starting and ending, one after another, all the time.
start_child bash -c "while :; do \"\$@\" --help >/dev/null 2>&1; done" starter \
    "${wine_run[@]}" "$windows_bin/tavorline-web.exe"

exec {line}<>"$home/terminal"
checks=0
unanswered=0
end=$((SECONDS + seconds))
while ((SECONDS < end)); do
    printf '\002LC0001\003' >&"$line"
    answer=
    IFS= read -r -N 3 -t "$answer_within" -u "$line" answer || true
    ((++checks))
    if [[ $answer != $'\006\006\006' ]]; then
        ((++unanswered))
        echo "line check $checks unanswered after $SECONDS s" >&2
        # Whatever came late belongs to this check, not the next one.
        IFS= read -r -t 1 -u "$line" -d '' _ || true
    fi
    sleep "$check_every"
done
exec {line}>&-

((checks > 0)) || fail "no line check was sent"
((unanswered == 0)) || fail "$unanswered of $checks line checks went unanswered"
failed=0
echo "line check under load: $checks of $checks answered in $seconds s"
