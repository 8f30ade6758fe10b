# shellcheck shell=dash
# The driver autoloads for its node, publishes /dev/pwm_ctrl, and every command
# through pwmctl and through raw ioctls (from a 64-bit and from a 32-bit
# program) reaches the PWM core as it should, checked against what the lab's
# controller recorded.

nothing_loaded()
{
    { ! module_loaded dimmerdev && ! module_loaded labpwm; } || { cut -d' ' -f1 /proc/modules; return 1; }
}

check_autoload()
{
    check "no PWM module loaded before the nodes are announced" nothing_loaded
    bring_up_pwm
    check "dimmerdev loaded from its alias" module_loaded dimmerdev
    check "labpwm loaded from its alias" module_loaded labpwm
    check "the consumer node bound to pwm-ioctl" bound_to "$(consumer_node)" pwm-ioctl
    check "/dev/pwm_ctrl is the device of class pwm_ioctl" node_matches_class
}

P='ch0 period=1000000'

check_pwmctl()
{
    pwmctl disable >/dev/null && pwmctl polarity normal >/dev/null
    check "pwmctl set: one apply" pwmctl_applies 0 1 "$P duty=250000 polarity=0 enabled=0" \
        set --duty 250000 --period 1000000
    check "pwmctl set, unchanged: nothing applied" pwmctl_applies 0 0 - set --duty 250000 --period 1000000
    check "pwmctl enable: one apply" pwmctl_applies 0 1 "$P duty=250000 polarity=0 enabled=1" enable
    check "pwmctl get" pwmctl_shows "duty_cycle: 250000 ns;period: 1000000 ns;enabled: yes;polarity: normal;"
    check "pwmctl polarity while running: refused, nothing applied" pwmctl_applies 1 0 - polarity inversed
    check "pwmctl disable: one apply" pwmctl_applies 0 1 "$P duty=250000 polarity=0 enabled=0" disable
    check "pwmctl polarity inversed: one apply" pwmctl_applies 0 1 "$P duty=250000 polarity=1 enabled=0" \
        polarity inversed
    check "pwmctl get --json" equal "$(pwmctl get --json)" \
        '{"duty_cycle":250000,"period":1000000,"enabled":false,"polarity":"inversed"}'
    check "pwmctl set with the duty cycle above the period: refused" pwmctl_applies 1 0 - \
        set --duty 2000000 --period 1000000
    check "pwmctl polarity normal: one apply" pwmctl_applies 0 1 "$P duty=250000 polarity=0 enabled=0" \
        polarity normal
    check "pwmctl --help" pwmctl --help
}

pwm_scenario()
{
    check_autoload
    check_pwmctl
    raw_checks 0
    # A 32-bit program on a 64-bit kernel goes through compat_ioctl; the ARM
    # board's kernel is 32-bit itself, so there the checks above cover it.
    if [ "$(uname -m)" = x86_64 ]; then
        check "the 32-bit checker is a 32-bit program on the 64-bit kernel" runs_32bit_on_64bit
        raw_checks_32bit 0
    fi
    check "no BUG, WARN or Oops in the kernel log" kernel_clean
}
