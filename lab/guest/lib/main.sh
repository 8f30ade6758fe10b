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
    load_nand || return 1
    if [ "$FRESH" = 1 ]; then
        provision_board
    else
        nand_restore
    fi
}

power_off()
{
    take_down_all
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
        fail "board" "the NAND could not be brought up (fresh=$FRESH)"
        result "STATE broken"
        poweroff -f
    fi
    [ -f "/lab/scenarios/$SCENARIO.sh" ] && . "/lab/scenarios/$SCENARIO.sh"
    before_boot "$BOOT"
    device_boot
    after_boot "$BOOT"
    power_off
}
