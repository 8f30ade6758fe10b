# shellcheck shell=dash
# The consumer unbound while two files are open (the kernel runs with
# slub_debug=FZPU): commands on them fail with ENODEV, closing them works, and
# no freed memory is touched. Then bound again and used, and unloaded.

gone()
{
    { [ ! -e /dev/pwm_ctrl ] && [ ! -e /sys/class/pwm_ioctl/pwm_ctrl ]; } ||
        { ls /dev/pwm_ctrl /sys/class/pwm_ioctl 2>&1; return 1; }
}

unload_refused()
{
    ! /usr/sbin/rmmod dimmerdev 2>/dev/null || { echo "rmmod succeeded"; return 1; }
}

no_apply()
{
    local n
    n=$(applies_count)
    [ "$n" = 0 ] || { echo "$n applies: $(last_apply)"; return 1; }
}

unbind_with_files_open()
{
    local node
    node=$(basename "$(consumer_node)")
    pwmctl set --duty 250000 --period 1000000 >/dev/null && pwmctl enable >/dev/null
    clear_applies
    exec 3</dev/pwm_ctrl 4<>/dev/pwm_ctrl
    check "unbind with two files open" sh -c "echo $node >$PWM_DRIVER/unbind"
    check "/dev/pwm_ctrl and its class device are gone" gone
    check "the module stays while a file is open" unload_refused
    run_checks "files of the unbound device" pwm_ioctl_check gone 3
    exec 3<&-
    # The last file, after another one has gone.
    run_checks "files of the unbound device" pwm_ioctl_check gone 4
    exec 4<&-
    check "unbinding gave the PWM no command" no_apply
    validate_slabs
    check "no use after free, BUG, WARN or Oops after the unbind" kernel_clean
}

# labpwm now reports a rounded state: a driver that reads the PWM core's state
# afresh sees it; one that kept its own copy would not.
bind_again()
{
    local node
    node=$(basename "$(consumer_node)")
    echo 300000 >"$(controller_node)/round_ns"
    check "bind again" sh -c "echo $node >$PWM_DRIVER/bind"
    check "/dev/pwm_ctrl is back" node_matches_class
    check "the state is what the controller reports, rounded" \
        pwmctl_shows "duty_cycle: 0 ns;period: 900000 ns;enabled: yes;polarity: normal;"
    echo 0 >"$(controller_node)/round_ns"
    check "pwmctl set after binding again: one apply" \
        pwmctl_applies 0 1 "ch0 period=1000000 duty=250000 polarity=0 enabled=1" set --duty 250000 --period 1000000
    raw_checks 0
}

unloaded()
{
    ! module_loaded "$1" || { echo "$1 is still loaded"; return 1; }
}

unload()
{
    clear_applies
    check "unload dimmerdev" /usr/sbin/rmmod dimmerdev
    check "dimmerdev is gone" unloaded dimmerdev
    check "/dev/pwm_ctrl and its class device are gone after the unload" gone
    check "unloading gave the PWM no command" no_apply
    check "labpwm unloads: the PWM was given back" /usr/sbin/rmmod labpwm
    validate_slabs
    check "no use after free, BUG, WARN or Oops after the unload" kernel_clean
}

pwm_scenario()
{
    check "the consumer bound" bring_up_pwm
    unbind_with_files_open
    bind_again
    unload
}
