# Sourced by the scripts that run the Windows gateway under Wine with the
# terminal on a pty pair; not run on its own. Before sourcing, set: root,
# wine_run (cmake/wine-run.sh and its options), prefix (the Wine prefix),
# com_number, title (for messages) and slug (for the folder's name).
#
# It makes the prefix, a folder $home that stays only when the script
# failed, and the pty pair: COM$com_number of the prefix is the gateway's
# end, $home/terminal the terminal's. The children end with the script.
# It defines fail MESSAGE and await COMMAND [ARGUMENT]...

source "$root/scripts/children.sh"
home=$(mktemp -d "${TMPDIR:-/tmp}/tavorline-$slug.XXXXXX")
failed=1
finish() {
    end_children
    rm -f "$prefix/dosdevices/com$com_number"
    if ((failed)); then echo "$title: the folder stays: $home" >&2; else rm -rf "$home"; fi
}
trap finish EXIT
trap_stop_signals

fail() {
    echo "$title: FAILED: $*" >&2
    exit 1
}

# Waits up to 90 s (Wine starts slowly on a busy machine) until COMMAND succeeds.
await() {
    local tries=1800
    until "$@"; do
        ((--tries > 0)) || return 1
        sleep 0.05
    done
}

"${wine_run[@]}"  # makes the prefix now, outside the time limits of the script

start_child socat "pty,raw,echo=0,link=$home/gateway-line" "pty,raw,echo=0,link=$home/terminal" \
    2>"$home/socat.txt"
await test -e "$home/terminal" || fail "socat made no pty pair"
ln -sfn "$home/gateway-line" "$prefix/dosdevices/com$com_number"
