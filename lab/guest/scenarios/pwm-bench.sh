# shellcheck shell=dash
# The benchmark lab/bench/pwm_bench.c: reconfiguring channel 0 through /dev/pwm_ctrl
# against channel 1 through the kernel's sysfs PWM interface.

LAB_CLOCK=$(lab_arg clock)

pwm_scenario()
{
    local chip
    check "the consumer bound" bring_up_pwm
    chip=/sys/class/pwm/$(basename "$(controller_chip)")
    run_checks "pwm_bench" pwm_bench --clock "${LAB_CLOCK:-time}" /dev/pwm_ctrl "$(controller_node)" "$chip" 1 \
        "$(lab_arg count)"
}
