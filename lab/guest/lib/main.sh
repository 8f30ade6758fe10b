# shellcheck shell=dash
# One power-on, from the NAND coming up to the power going off.

# Scenario hooks, replaced by the scenario's own file: before_boot runs before
# the device boots (damage, upgrades), after_boot checks what the boot did.
before_boot()
{
    :
}

after_boot()
{
    :
}

bring_up_board()
{
    [ -z "${LAB_WARM:-}" ] || {
        warm_bring_up
        return
    }
    load_nand || return 1
    if [ "$FACTORY" = 1 ]; then
        provision_board
    else
        nand_restore
    fi
}

# The guides' numbered command lines, for the host (power-cut points).
report_commands()
{
    local n line
    [ -e "$LAB_STATE/commands" ] || return 0
    while IFS='	' read -r n line; do
        result "CMD $n	$line"
    done <"$LAB_STATE/commands"
    # When each command started, in seconds after bootward started.
    local t0
    read -r t0 <"$LAB_STATE/t0"
    awk -v t0="$t0" '{printf "CMDT %d %.2f\n", NR, $1 - t0}' "$LAB_STATE/times" | while read -r line; do
        result "$line"
    done
}

power_off()
{
    report_commands
    story "record after boot $BOOT: $(record_summary)"
    take_down_all
    if warm_boot_next; then
        # The chip stays as it is for the next boot: nothing to save.
        result "STATE $DEVICE_STATE"
        warm_boot kept
    fi
    nand_save || fail "power-off" "the NAND could not be saved"
    result "STATE $DEVICE_STATE"
    sync
    poweroff -f
}

lab_main()
{
    echo "LAB: scenario $SCENARIO, boot $BOOT, uptime $(now)s"
    DEVICE_STATE=none
    if ! bring_up_board; then
        fail "board" "the NAND could not be brought up"
        result "STATE broken"
        poweroff -f
    fi
    if [ "$FACTORY" = 1 ]; then
        DEVICE_STATE=factory
        power_off
    fi
    # shellcheck source=/dev/null # lab/guest/scenarios/*.sh, each checked on its own
    [ -f "/lab/scenarios/$SCENARIO.sh" ] && . "/lab/scenarios/$SCENARIO.sh"
    before_boot "$BOOT"
    device_boot
    after_boot "$BOOT"
    power_off
}
