# shellcheck shell=dash
# Power cuts at a random instant (lab.cutat=N:MS): MS milliseconds after the
# guides' command N started (the trace wrapper gives the word through a FIFO),
# the guide and every process it started are stopped where they are
# (SIGSTOP: inside a command, inside the upgrade service, between two system
# calls of either), the NAND goes to the state disk as it is, and the machine
# stops. A system call under way finishes first: a page being programmed is
# programmed whole, as the lab cannot tear one.

# Process numbers of the guide and of all its descendants.
guide_tree()
{
    local root
    read -r root <"$LAB_STATE/guide-pid" 2>/dev/null || return 0
    cat /proc/[0-9]*/stat 2>/dev/null | sed -n 's/^\([0-9]*\) .*) . \([0-9]*\) .*/\1 \2/p' |
        awk -v root="$root" '
            { parent[$1] = $2 }
            END {
                tree[root] = 1
                do {
                    grown = 0
                    for (p in parent) {
                        if (!(p in tree) && (parent[p] in tree)) { tree[p] = 1; grown = 1 }
                    }
                } while (grown)
                for (p in tree) print p
            }'
}

# signal_guides SIGNAL: to the guide and all its descendants.
signal_guides()
{
    # shellcheck disable=SC2046 # one argument per process number
    kill -"$1" $(guide_tree) 2>/dev/null
}

start_freezer()
{
    local after=${1%%:*} ms=${1#*:}
    rm -f "$LAB_STATE/arm.fifo"
    mkfifo "$LAB_STATE/arm.fifo"
    echo "$after" >"$LAB_STATE/arm"
    (
        read -r _ <"$LAB_STATE/arm.fifo"
        sleep "$(awk -v ms="$ms" 'BEGIN {printf "%.3f", ms / 1000}')"
        [ -e "$LAB_STATE/guides-done" ] && exit 0
        # Twice: a process started while the first sweep ran is caught by the second.
        signal_guides STOP
        signal_guides STOP
        [ -e "$LAB_STATE/guides-done" ] && { signal_guides CONT; exit 0; }
        read -r n <"$LAB_STATE/count"
        line=$(awk -F'\t' -v n="$n" '$1 == n {print $2}' "$LAB_STATE/commands")
        [ -n "$line" ] || line="(its wrapper was starting)"
        result "CUT $ms ms after command $after started, during or after command $n: $line"
        result "FIGURE random cut $ms ms after command $after: during or after command $n ($line)"
        check_running_app_kept
        nand_save || result "FAIL power cut: the NAND could not be saved"
        result "STATE cut"
        cut_power_off
    ) &
    FREEZER_PID=$!
}

# The guides ended before the instant: no cut in this power-on.
stop_freezer()
{
    : >"$LAB_STATE/guides-done"
    rm -f "$LAB_STATE/arm"
    [ -n "${FREEZER_PID:-}" ] && kill "$FREEZER_PID" 2>/dev/null
    FREEZER_PID=
}
