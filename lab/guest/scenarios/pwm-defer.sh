# shellcheck shell=dash
# The consumer's module loaded while its controller is absent: the probe is
# deferred, and the consumer binds once the controller's node is announced
# and its module autoloads.

deferred()
{
    grep -q "$(basename "$(consumer_node)")" "$PWM_DEFERRED" || { echo "not in $PWM_DEFERRED"; return 1; }
}

not_deferred()
{
    ! deferred >/dev/null || { echo "still in $PWM_DEFERRED"; return 1; }
}

not_bound()
{
    ! bound_to "$1" pwm-ioctl || { echo "bound"; return 1; }
}

pwm_scenario()
{
    local t0
    check "dimmerdev loads for the consumer's alias" "$PWM_MODPROBE" "$(cat "$(consumer_node)/modalias")"
    check "the consumer waits: not bound while the controller is absent" not_bound "$(consumer_node)"
    check "the consumer's probe is deferred" deferred
    check "no /dev/pwm_ctrl yet" test ! -e /dev/pwm_ctrl
    start_mdev
    t0=$(now)
    announce "$(controller_node)"
    check "the consumer binds within 10 s of the controller's announcement" \
        wait_for 100 bound_to "$(consumer_node)" pwm-ioctl
    figure "pwm-defer: the consumer bound $(elapsed "$t0" "$(now)") s after the controller's node was announced"
    check "labpwm loaded from its alias" module_loaded labpwm
    check "no longer deferred" not_deferred
    check "/dev/pwm_ctrl is the device of class pwm_ioctl" node_matches_class
    check "commands reach the controller" pwmctl_applies 0 1 "ch0 period=1000000 duty=300000 polarity=0 enabled=0" \
        set --duty 300000 --period 1000000
    check "no BUG, WARN or Oops in the kernel log" kernel_clean
}
