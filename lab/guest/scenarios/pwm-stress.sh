# shellcheck shell=dash
# Four processes issue mixed commands on /dev/pwm_ctrl for lab.seconds seconds.

pwm_scenario()
{
    check "the consumer bound" bring_up_pwm
    run_checks "stress" pwm_ioctl_check stress /dev/pwm_ctrl "$(controller_node)" 0 "$(lab_arg seconds)"
    check "no BUG, WARN or Oops in the kernel log" kernel_clean
}
