# shellcheck shell=dash
# How long the guides take against the same command lines run from one shell
# script, in the same VM on the same board: the guides' own cost beyond the
# commands they start (loading, the record, one shell per command).

TIMING_ROUNDS=3

# time_it COMMAND...: seconds the command took.
time_it()
{
    local t0
    t0=$(now)
    "$@" >/dev/null 2>&1
    elapsed "$t0" "$(now)"
}

# time_each COMMAND...: mean seconds of TIMING_REPEAT runs (the clock has 10 ms steps).
TIMING_REPEAT=10
repeat_it()
{
    local i=0
    while [ $i -lt $TIMING_REPEAT ]; do
        "$@"
        i=$((i + 1))
    done
}

time_each()
{
    time_it repeat_it "$@" | awk -v n=$TIMING_REPEAT '{printf "%.3f", $1 / n}'
}

run_guides()
{
    bootward
    cfgward
}

figure_guides_against_script()
{
    local round=0 guides=0 script=0 t
    guide_commands >/tmp/guide-commands.sh
    take_down_all
    while [ $round -lt $TIMING_ROUNDS ]; do
        t=$(time_it run_guides)
        guides=$(echo "$guides $t" | awk '{print $1 + $2}')
        take_down_all
        t=$(time_it sh /tmp/guide-commands.sh)
        script=$(echo "$script $t" | awk '{print $1 + $2}')
        take_down_all
        round=$((round + 1))
    done
    figure "$(echo "$guides $script $TIMING_ROUNDS $(wc -l </tmp/guide-commands.sh)" |
        awk '{printf "normal boot: guides %.2fs, the same %d command lines from one script %.2fs, ratio %.2f",
              $1 / $3, $4, $2 / $3, ($2 > 0 ? $1 / $2 : 0)}')"
    figure "one record read (bootinfo --json) $(time_each bootinfo --json)s, bootinfo --help (loading, no read)" \
        "$(time_each bootinfo --help)s, one sh -c true $(time_each sh -c true)s (means of $TIMING_REPEAT)"
    figure "one record read inside a running process (lab_record_read, mean of 50): $(lab_record_read 50) ms"
}
