# shellcheck shell=bash
# Power cuts: the board is brought to the boot in which a guide rebuilds a
# partition, once without a cut to number and time the rebuild's commands (the
# reference runs), then once per command with the power cut just before it, or
# at random instants. After each cut the board gets at most two more boots to
# come back to a normal boot.
#
# The reference runs go side by side with the simple scenarios, and then the
# cuts of every power-cut scenario asked for share one pool of VMs, so that no
# VM waits for another scenario's last run.

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
# each from a copy of STATE, the board as it is before boot CUT-BOOT, started
# as jobs (finish_jobs waits for them).
cut_runs()
{
    local k
    for ((k = $5; k <= $6; k++)); do
        if [ -z "${LAB_CUTS:-}" ] || [[ " $LAB_CUTS " == *" $k "* ]]; then
            start_job "$1-cut-$k" cut_run "$1" "$2" "$3" "$4" "$k"
        fi
    done
}

# cut_run NAME GUEST-SCENARIO STATE CUT-BOOT K
cut_run()
{
    cut_run_at "$1" "$2" "$3" "$4" "cut-$5" "lab.cut=$5" "cut before command $5 ($(cut_line "$5"))"
}

# cut_run_at NAME GUEST-SCENARIO STATE CUT-BOOT RUN LAB-ARG WHAT: one run with
# the power cut in boot CUT-BOOT where LAB-ARG says, then at most two more boots.
# They follow in the same VM, warm (lab/guest/lib/warm.sh): the boot after the
# cut with the chip from the state disk as the cut saved it, the one after that
# with the chip as that boot left it; a power-on of their own when the board
# could not go warm.
cut_run_at()
{
    local name=$1 guest=$2 state=$3 cut_boot=$4 run=$5 arg=$6 what=$7 boot extra outcome cut_state
    local failed_before=$CHECKS_FAILED known_before=$CHECKS_KNOWN
    new_run "$name/$run" "$state"
    power_on_boots "$guest" "$cut_boot" 3 "$arg"
    cut_state=${STATE_OF_BOOT[cut_boot]:-none}
    if [ "$cut_state" != cut ] && [ "$arg" != "${arg#lab.cutat=}" ] &&
        { [ "$cut_state" = repaired ] || [ "$cut_state" = normal ]; }; then
        # The guides were faster this time and ended before the instant.
        echo "$name: $what: no cut, the guides ended first" >>"$LAB_RUN/figures"
        echo "miss" >"$LAB_RUN/$name/$run/outcome"
        return
    fi
    if [ "$cut_state" = cut ]; then
        host_pass "$RUN_NAME/boot$cut_boot: ends cut"
    else
        host_fail "$RUN_NAME/boot$cut_boot: ends cut" "it ended $cut_state"
    fi
    boot=$LAST_BOOT
    while [ $((boot - cut_boot)) -lt 2 ] && [ "$BOOT_STATE" != normal ] && [ "$BOOT_STATE" != none ]; do
        power_on_boots "$guest" $((boot + 1)) $((2 - (boot - cut_boot)))
        boot=$LAST_BOOT
    done
    extra=$((boot - cut_boot))
    if [ "$BOOT_STATE" = normal ]; then
        host_pass "$RUN_NAME: a normal boot within two boots after the cut"
        outcome="normal again after $extra boot(s)"
    else
        host_fail "$RUN_NAME: a normal boot within two boots after the cut" "boot $boot ended $BOOT_STATE"
        outcome="NOT normal after 2 boots"
    fi
    outcome="$outcome, $((CHECKS_FAILED - failed_before)) failed check(s)"
    outcome="$outcome, $((CHECKS_KNOWN - known_before)) known-fault failure(s)"
    echo "$name: $what: $outcome" >>"$LAB_RUN/figures"
    if [ "$BOOT_STATE" = normal ] && [ $((CHECKS_FAILED - failed_before)) -eq 0 ]; then
        echo "converged" >"$LAB_RUN/$name/$run/outcome"
    else
        echo "failed" >"$LAB_RUN/$name/$run/outcome"
    fi
}

cut_line()
{
    awk -F'\t' -v k="$1" '$1 == k {print $2}' "$CUT_REFERENCE"
}

# start_cut_references SCENARIO...: the reference runs the power-cut scenarios
# named need, as jobs. Application A erased: boot 1 switches to B, boot 2
# rebuilds A from B's /app (cut-app, cut-random). Configuration A erased: boot
# 1's cfgward rebuilds it from B (cut-cfg, cut-random).
start_cut_references()
{
    case " $* " in
    *" cut-app "* | *" cut-random "*) start_job cut-app-reference cut_reference_app ;;
    esac
    case " $* " in
    *" cut-cfg "* | *" cut-random "*) start_job cut-cfg-reference cut_reference_cfg ;;
    esac
}

cut_reference_app()
{
    new_run cut-app
    power_on cut-app 1
    expect_state rebooting 1
    cp --sparse=always "$RUN_DIR/state.img" "$RUN_DIR/before-rebuild.img"
    power_on cut-app 2
    expect_state repaired 2
}

cut_reference_cfg()
{
    new_run cut-cfg
    power_on cut-cfg 1
    expect_state repaired 1
}

# run_cuts SCENARIO...: the cuts of the power-cut scenarios named, in one pool
# (after start_cut_references and finish_jobs).
run_cuts()
{
    local started=$SECONDS scenario
    RUN_BOOTS=0 RUN_WARM_BOOTS=0
    # The longest runs first (a random cut takes three boots or more), so that
    # the pool ends on short ones.
    for scenario in cut-random cut-app cut-cfg; do
        [[ " $* " == *" $scenario "* ]] || continue
        echo "--- $scenario"
        "start_${scenario//-/_}"
    done
    finish_jobs
    case " $* " in *" cut-random "*) report_cut_random ;; esac
    echo "power cuts ($*): $RUN_BOOTS boots ($RUN_WARM_BOOTS of them warm), $((SECONDS - started)) s after the" \
        "reference runs" >>"$LAB_RUN/figures"
}

# The application's cuts: before each command from "mkdir -p /reserve" to the
# one after the rebuild's last ("rm -rf /reserve").
start_cut_app()
{
    CUT_REFERENCE=$LAB_RUN/cut-app/boot2.commands
    local first last
    first=$(command_number "$CUT_REFERENCE" '^mkdir -p /reserve$')
    last=$(command_number "$CUT_REFERENCE" '^rm -rf /reserve$')
    { [ -n "$first" ] && [ -n "$last" ]; } || { host_fail "cut-app: the rebuild's commands found" "no"; return; }
    cut_runs cut-app cut-app "$LAB_RUN/cut-app/before-rebuild.img" 2 "$first" $((last + 1))
}

# The configuration's cuts: before each command from the rebuild's take-down of
# A to its last command.
start_cut_cfg()
{
    CUT_REFERENCE=$LAB_RUN/cut-cfg/boot1.commands
    local format first last
    format=$(command_number "$CUT_REFERENCE" '^ubiformat /dev/mtd7 ')
    last=$(last_command_number "$CUT_REFERENCE")
    [ -n "$format" ] || { host_fail "cut-cfg: the rebuild's commands found" "no"; return; }
    first=$((format - 2))
    cut_runs cut-cfg cut-cfg "$LAB_RUN/factory.img" 1 "$first" "$last"
}

# Power cuts at random instants inside the rebuilds: the guides are frozen
# where they are (inside a command, inside a store of the record), the NAND is
# saved as it is and the board stops. Half the instants fall in the rebuild of
# application A (as cut-app), half in that of configuration A (as cut-cfg),
# drawn uniformly over the time from the rebuild's first command to the last
# command of the guides in the reference runs. LAB_RANDOM_CUTS instants (30),
# from the seed LAB_CUT_SEED (printed; random unless given).
start_cut_random()
{
    local seed=${LAB_CUT_SEED:-$((RANDOM * 32768 + RANDOM))} count=${LAB_RANDOM_CUTS:-30}
    echo "cut-random: seed $seed, $count instants (LAB_CUT_SEED=$seed lab/run cut-random repeats them)"
    echo "cut-random: seed $seed" >>"$LAB_RUN/figures"
    local app_from app_to app_ms cfg_from cfg_to cfg_ms base
    rm -rf "$LAB_RUN/cut-random"
    mkdir -p "$LAB_RUN/cut-random"
    base=$LAB_RUN/cut-app/boot2
    app_from=$(command_number "$base.commands" '^mkdir -p /reserve$')
    app_to=$(command_number "$base.commands" '^rm -rf /reserve$')
    read -r app_ms < <(window_ms "$base" "$app_from" "$app_to")
    base=$LAB_RUN/cut-cfg/boot1
    cfg_from=$(command_number "$base.commands" '^ubiformat /dev/mtd7 ')
    [ -n "$cfg_from" ] && cfg_from=$((cfg_from - 2))
    cfg_to=$(last_command_number "$base.commands")
    read -r cfg_ms < <(window_ms "$base" "$cfg_from" "$cfg_to")
    if [ -z "$app_ms" ] || [ -z "$cfg_ms" ]; then
        host_fail "cut-random: the rebuilds' windows found" "no"
        return
    fi
    echo "cut-random: the application rebuild took $app_ms ms from command $app_from," \
        "the configuration rebuild $cfg_ms ms from command $cfg_from (reference runs)" >>"$LAB_RUN/figures"
    local i=0 kind ms
    while read -r kind ms; do
        i=$((i + 1))
        case $kind in
        app) start_job "cut-random-$i" cut_random_run cut-app "$LAB_RUN/cut-app/before-rebuild.img" 2 \
            "at-$i" "$app_from" "$ms" "app rebuild" ;;
        cfg) start_job "cut-random-$i" cut_random_run cut-cfg "$LAB_RUN/factory.img" 1 \
            "at-$i" "$cfg_from" "$ms" "cfg rebuild" ;;
        esac
    done < <(awk -v seed="$seed" -v n="$count" -v a="$app_ms" -v c="$cfg_ms" '
        # Uniform over the first 90 % of each rebuild: a slower run than the
        # reference ends later, a faster one would leave the last instants out.
        BEGIN {
            srand(seed)
            for (i = 0; i < n; i++) {
                if (i % 2 == 0) printf "app %d\n", 0.9 * a * rand()
                else printf "cfg %d\n", 0.9 * c * rand()
            }
        }')
}

report_cut_random()
{
    local cut converged missed
    cut=$(cat "$LAB_RUN"/cut-random/at-*/outcome 2>/dev/null | grep -cv miss || true)
    converged=$(cat "$LAB_RUN"/cut-random/at-*/outcome 2>/dev/null | grep -c converged || true)
    missed=$(cat "$LAB_RUN"/cut-random/at-*/outcome 2>/dev/null | grep -c miss || true)
    echo "cut-random: $converged of $cut random cuts converged (normal boot within two boots, no failed check)," \
        "$missed instants after the guides had ended (even at a quarter of the time)" >>"$LAB_RUN/figures"
}

# cut_random_run GUEST-SCENARIO STATE CUT-BOOT RUN AFTER MS WHAT: one random cut;
# an instant the guides outran is tried again at half the time, twice at most.
cut_random_run()
{
    local ms=$6 tries=0
    while :; do
        cut_run_at cut-random "$1" "$2" "$3" "$4" "lab.cutat=$5:$ms" "$7, $ms ms after command $5"
        { [ "$(cat "$LAB_RUN/cut-random/$4/outcome" 2>/dev/null)" = miss ] && [ $tries -lt 2 ]; } || break
        tries=$((tries + 1))
        ms=$((ms / 2))
    done
}

# window_ms BOOT-BASE FIRST LAST: milliseconds from the start of command FIRST
# to the end of command LAST (the start of the next one, or the guides' end).
window_ms()
{
    [ -n "$2" ] && [ -n "$3" ] || return 0
    awk -v first="$2" -v last="$3" '$1 == first {from = $2} $1 == last + 1 {to = $2} $1 == last {end = $2 + 0.3}
        END {if (to == "") to = end; if (from != "") printf "%d\n", 1000 * (to - from)}' "$1.times"
}
