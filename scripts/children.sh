# Sourced by the scripts that start programs in the background; not run on its
# own. Every such program goes through start_child and end_children ends them
# all, whether the script succeeds, fails or is stopped with Ctrl+C or SIGTERM:
#
#   source "$root/scripts/children.sh"
#   trap 'end_children; rm -rf "$folder"' EXIT
#   trap_stop_signals
#   start_child host-sim --mode LF >"$folder/host.txt" 2>&1
#   host_pid=$child
#
# Never call start_child inside $(...): a command substitution runs in a
# subshell, whose list of children is lost when it ends, and so the programs
# would be left running. Read what a program reports from a file instead.

children=()

# setpriv asks the kernel to send SIGTERM to a child when the script dies,
# even of SIGKILL, when no trap can run.
if command -v setpriv >/dev/null; then
    child_prefix=(setpriv --pdeathsig TERM --)
else
    child_prefix=()
fi

# Runs COMMAND [ARGUMENT]... in the background; its process id goes to $child
# and to the list end_children ends. Redirections after the call apply to it.
start_child() {
    "${child_prefix[@]}" "$@" &
    child=$!
    children+=("$child")
}

# Runs COMMAND [ARGUMENT]... as start_child does and waits for it; returns its
# status. Waiting in `wait` rather than in the foreground lets a trapped
# Ctrl+C or SIGTERM end the script at once, and end_children end the command.
run_child() {
    start_child "$@"
    local status=0
    wait "$child" || status=$?
    unset 'children[-1]'
    return "$status"
}

# Ends the children PID... (default: all of them) that still run: SIGTERM,
# then SIGKILL for any still there after 5 s; waits for them and forgets
# them, so that no process id is signalled again once the system reuses it.
# Without PID the script is ending: from here on it ignores the stop signals,
# so that a second Ctrl+C cannot cut its clean-up short.
end_children() {
    local ending=("$@")
    if ((${#ending[@]} == 0)); then
        trap '' INT TERM HUP
        ending=("${children[@]}")
    fi
    ((${#ending[@]} > 0)) || return 0
    kill -TERM "${ending[@]}" 2>/dev/null || true
    local tries=100
    while kill -0 "${ending[@]}" 2>/dev/null && ((--tries > 0)); do sleep 0.05; done
    kill -KILL "${ending[@]}" 2>/dev/null || true
    wait "${ending[@]}" 2>/dev/null || true
    local pid kept=()
    for pid in "${children[@]}"; do
        [[ " ${ending[*]} " == *" $pid "* ]] || kept+=("$pid")
    done
    children=("${kept[@]}")
}

# Ctrl+C, SIGTERM and the hang-up of its terminal end the script through its
# EXIT trap, with the usual statuses (128 + the signal's number).
trap_stop_signals() {
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
