# shellcheck shell=bash
# The scenarios: which power-ons a run makes and what each must end in. What
# happens inside a power-on (damage before the boot, checks after it) is the
# guest's part, in lab/guest/scenarios/<name>.sh.

list_scenarios()
{
    cat <<LIST
normal           a normal boot: everything mounts, nothing is repaired, the record stays (1 boot)
app-destroyed    application A erased: switch to B, rebuild A from B, normal boot from B (3 boots)
app-upgrade      B upgraded while B runs: its files and header reach A (2 boots)
kernel-bad       kernel B marked bad, a bad block in it: copied raw from kernel A (1 boot)
cfg-one-broken   configuration A unmountable: rebuilt from B (1 boot)
cfg-both-broken  neither configuration mounts: both reset from the image (1 boot)
cfg-upgrade      configuration upgrade of A finished: B rebuilt from A (1 boot)
cut-app          power cut before each command of an application rebuild (2-4 boots each)
cut-cfg          power cut before each command of a configuration rebuild (1-3 boots each)
cut-random       power cuts at random instants inside the application and configuration rebuilds (LAB_RANDOM_CUTS, 30)
reserve-wear     reserve blocks wear out: stores go on, bootward marks and switches; B rebuilds A (2 boots)
demo             a normal boot, then A destroyed: switch and repair, told as a story (4 boots)
LIST
    list_pwm_scenarios
    list_audio_scenarios
}

is_scenario()
{
    list_scenarios | awk '{print $1}' | grep -qx -- "$1"
}

# The factory: a blank chip (with the bad blocks given) provisioned in a VM of
# its own and powered off. make_factory IMAGE [lab args]
make_factory()
{
    local image=$1
    shift
    RUN_NAME=factory${1:+-bad}
    RUN_DIR=$LAB_RUN/$RUN_NAME
    RUN_ARGS=("$@")
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    new_state_disk "$RUN_DIR/state.img"
    power_on factory 0 lab.factory=1
    [ "$BOOT_STATE" = factory ] || die "the factory could not provision the board (see $RUN_DIR/boot0.log)"
    mv "$RUN_DIR/state.img" "$image"
}

# new_run NAME [FACTORY-IMAGE [lab args for every power-on]]: a new board.
new_run()
{
    RUN_NAME=$1
    RUN_DIR=$LAB_RUN/$RUN_NAME
    RUN_ARGS=("${@:3}")
    rm -rf "$RUN_DIR"
    mkdir -p "$RUN_DIR"
    cp --sparse=always "${2:-$LAB_RUN/factory.img}" "$RUN_DIR/state.img"
}

# power_on GUEST-SCENARIO BOOT [lab args...]: one power-on of the run's board.
power_on()
{
    power_on_boots "$1" "$2" 1 "${@:3}"
}

# power_on_boots GUEST-SCENARIO BOOT MAX [lab args...]: one power-on that makes
# up to MAX boots, BOOT the first, the others warm (lab/guest/lib/warm.sh)
# while none ends normal. Each boot gets its files as a power-on of its own
# (bootN.log, bootN.results, ...); BOOT_STATE is the last boot's, LAST_BOOT
# its number, STATE_OF_BOOT[N] how boot N ended.
power_on_boots()
{
    local scenario=$1 boot=$2 max=$3 vm=$RUN_DIR/vm status=0 n base
    shift 3
    local boots=("lab.boot=$boot")
    [ "$max" -le 1 ] || boots+=("lab.boots=$max")
    boot_vm "$vm.log" "$vm.results" "$RUN_DIR/state.img" \
        "lab.scenario=$scenario" "${boots[@]}" "${RUN_ARGS[@]}" "$@" || status=$?
    split_boots "$vm.results" "$boot" '^WARM ' .results
    split_boots "$vm.log" "$boot" '^=== warm boot ' .log
    mv -f "$vm.log.qemu" "$RUN_DIR/boot$boot.log.qemu" 2>/dev/null
    rm -f "$vm.log" "$vm.results"
    LAST_BOOT=$boot
    while [ -f "$RUN_DIR/boot$((LAST_BOOT + 1)).results" ] || [ -f "$RUN_DIR/boot$((LAST_BOOT + 1)).log" ]; do
        LAST_BOOT=$((LAST_BOOT + 1))
    done
    STATE_OF_BOOT=()
    for ((n = boot; n <= LAST_BOOT; n++)); do
        base=$RUN_DIR/boot$n
        RUN_BOOTS=$((RUN_BOOTS + 1))
        [ "$n" = "$boot" ] || RUN_WARM_BOOTS=$((RUN_WARM_BOOTS + 1))
        collect_results "$base.results" "$RUN_NAME/boot$n" "$base.commands"
        # shellcheck disable=SC2034 # read by cut_run_at (lab/host/powercut.sh)
        STATE_OF_BOOT[n]=$BOOT_STATE
    done
    if [ "$BOOT_STATE" = none ]; then
        base=$RUN_DIR/boot$LAST_BOOT
        host_fail "$RUN_NAME/boot$LAST_BOOT: the board powered off" "no, qemu status $status (see ${base#"$LAB_TOP"/}.log)"
        # A hang (status 124: stopped by LAB_VM_TIMEOUT) or a crash: the end of its console.
        tail -n 15 "$base.log" 2>/dev/null | tr -d '\r' | sed 's/^/    | /'
    fi
}

# split_boots FILE FIRST-BOOT MARKER SUFFIX: FILE's lines into bootN.SUFFIX,
# the next boot's file after each line matching MARKER.
split_boots()
{
    [ -f "$1" ] || return 0
    awk -v dir="$RUN_DIR" -v n="$2" -v marker="$3" -v suffix="$4" '
        { file = dir "/boot" n suffix; print > file }
        $0 ~ marker { close(file); n++ }' "$1"
}

# expect_state STATE BOOT: how the last power-on ended.
expect_state()
{
    if [ "$BOOT_STATE" = "$1" ]; then
        host_pass "$RUN_NAME/boot$2: ends $1"
    else
        host_fail "$RUN_NAME/boot$2: ends $1" "it ended $BOOT_STATE"
    fi
}

run_scenario()
{
    local name=$1 started=$SECONDS
    RUN_BOOTS=0
    echo "--- $name"
    "scenario_${name//-/_}"
    echo "$name: $RUN_BOOTS boots, $((SECONDS - started)) s" >>"$LAB_RUN/figures"
}

scenario_normal()
{
    new_run normal
    power_on normal 1
    expect_state normal 1
}

scenario_app_destroyed()
{
    new_run app-destroyed
    power_on app-destroyed 1
    expect_state rebooting 1
    power_on app-destroyed 2
    expect_state repaired 2
    power_on app-destroyed 3
    expect_state normal 3
}

scenario_app_upgrade()
{
    new_run app-upgrade
    power_on app-upgrade 1
    expect_state normal 1
    power_on app-upgrade 2
    expect_state repaired 2
}

scenario_kernel_bad()
{
    # The third erase block of kernel B (partition 10) is bad from the factory.
    local bad="lab.badblocks=$(($(part_first_block 10) + 2))"
    make_factory "$LAB_RUN/factory-bad.img" "$bad"
    new_run kernel-bad "$LAB_RUN/factory-bad.img" "$bad"
    power_on kernel-bad 1
    expect_state normal 1
}

scenario_cfg_one_broken()
{
    new_run cfg-one-broken
    power_on cfg-one-broken 1
    expect_state repaired 1
}

scenario_cfg_both_broken()
{
    new_run cfg-both-broken
    power_on cfg-both-broken 1
    expect_state repaired 1
}

scenario_cfg_upgrade()
{
    new_run cfg-upgrade
    power_on cfg-upgrade 1
    expect_state repaired 1
}

scenario_reserve_wear()
{
    # Six of the eight blocks of the reserve partition (6) last one to three erases in boot 1.
    local first weak
    first=$(part_first_block 6)
    weak="$first:1,$((first + 1)):1,$((first + 2)):1,$((first + 3)):2,$((first + 4)):2,$((first + 5)):3"
    new_run reserve-wear
    power_on reserve-wear 1 "lab.weakblocks=$weak"
    expect_state rebooting 1
    power_on reserve-wear 2
    expect_state repaired 2
}

scenario_demo()
{
    SHOW_STORY=1
    new_run demo
    local boot
    for boot in 1 2 3 4; do
        echo "boot $boot:"
        power_on demo $boot
    done
    # shellcheck disable=SC2034 # collect_results's (lab/host/report.sh)
    SHOW_STORY=0
}
