# Power cuts: the board is brought to the boot in which a guide rebuilds a
# partition, once without a cut to number the rebuild's commands, then once
# per command with the power cut just before it. After each cut the board gets
# at most two more boots to come back to a normal boot.

# command_number COMMANDS REGEX: number of the first command line matching.
command_number()
{
    awk -F'\t' -v re="$2" '$2 ~ re {print $1; exit}' "$1"
}

last_command_number()
{
    tail -n 1 "$1" | cut -f1
}

# cut_runs NAME GUEST-SCENARIO STATE CUT-BOOT FIRST LAST: one run per cut point,
# each from a copy of STATE, the board as it is before boot CUT-BOOT.
cut_runs()
{
    local k
    for ((k = $5; k <= $6; k++)); do
        if [ -z "${LAB_CUTS:-}" ] || [[ " $LAB_CUTS " == *" $k "* ]]; then
            start_job "$1-cut-$k" cut_run "$1" "$2" "$3" "$4" "$k"
        fi
    done
    finish_jobs
}

# cut_run NAME GUEST-SCENARIO STATE CUT-BOOT K
cut_run()
{
    local name=$1 guest=$2 state=$3 cut_boot=$4 k=$5 boot extra outcome
    local failed_before=$CHECKS_FAILED known_before=$CHECKS_KNOWN
    new_run "$name/cut-$k" "$state"
    power_on "$guest" "$cut_boot" "lab.cut=$k"
    expect_state cut "$cut_boot"
    boot=$cut_boot
    for extra in 1 2; do
        boot=$((boot + 1))
        power_on "$guest" "$boot"
        [ "$BOOT_STATE" = normal ] && break
    done
    if [ "$BOOT_STATE" = normal ]; then
        host_pass "$RUN_NAME: a normal boot within two boots after the cut"
        outcome="normal again after $extra boot(s)"
    else
        host_fail "$RUN_NAME: a normal boot within two boots after the cut" "boot $boot ended $BOOT_STATE"
        outcome="NOT normal after 2 boots"
    fi
    outcome="$outcome, $((CHECKS_FAILED - failed_before)) failed check(s)"
    outcome="$outcome, $((CHECKS_KNOWN - known_before)) known-fault failure(s)"
    echo "$name: cut before command $k ($(cut_line "$k")): $outcome" >>"$LAB_RUN/figures"
}

cut_line()
{
    awk -F'\t' -v k="$1" '$1 == k {print $2}' "$CUT_REFERENCE"
}

# Application A erased; boot 1 switches to B; boot 2 rebuilds A from B's /app:
# cuts before each command from "mkdir -p /reserve" to the one after the
# rebuild's last ("rm -rf /reserve").
scenario_cut_app()
{
    new_run cut-app
    power_on cut-app 1
    expect_state rebooting 1
    cp --sparse=always "$RUN_DIR/state.img" "$RUN_DIR/before-rebuild.img"
    power_on cut-app 2
    expect_state repaired 2
    CUT_REFERENCE=$RUN_DIR/boot2.commands
    local first last
    first=$(command_number "$CUT_REFERENCE" '^mkdir -p /reserve$')
    last=$(command_number "$CUT_REFERENCE" '^rm -rf /reserve$')
    [ -n "$first" ] && [ -n "$last" ] || { host_fail "cut-app: the rebuild's commands found" "no"; return; }
    cut_runs cut-app cut-app "$LAB_RUN/cut-app/before-rebuild.img" 2 "$first" $((last + 1))
}

# Configuration A erased; boot 1's cfgward rebuilds it from B: cuts before each
# command from the rebuild's take-down of A to its last command.
scenario_cut_cfg()
{
    new_run cut-cfg
    power_on cut-cfg 1
    expect_state repaired 1
    CUT_REFERENCE=$RUN_DIR/boot1.commands
    local format first last
    format=$(command_number "$CUT_REFERENCE" '^ubiformat /dev/mtd7 ')
    last=$(last_command_number "$CUT_REFERENCE")
    [ -n "$format" ] || { host_fail "cut-cfg: the rebuild's commands found" "no"; return; }
    first=$((format - 2))
    cut_runs cut-cfg cut-cfg "$LAB_RUN/factory.img" 1 "$first" "$last"
}
