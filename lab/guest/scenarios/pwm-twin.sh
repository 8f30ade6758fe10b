# shellcheck shell=dash
# Two nodes match the driver (the twin table: PWMC on channel 0, PWMD on
# channel 1): the one probed first binds, the other is refused with EBUSY and
# one line saying the node is already published, leaves nothing behind (its
# PWM free, one device-number region, no kernel warning), and binds once the
# first is unbound.

BOUND=
OTHER=

# Sets BOUND and OTHER when exactly one of the two nodes is bound (not in a
# subshell, so not through check).
pick_nodes()
{
    local a b
    a=$(consumer_node 1) b=$(consumer_node 2)
    if bound_to "$a" pwm-ioctl && ! bound_to "$b" pwm-ioctl; then
        BOUND=$a OTHER=$b
    elif bound_to "$b" pwm-ioctl && ! bound_to "$a" pwm-ioctl; then
        BOUND=$b OTHER=$a
    fi
}

one_bound()
{
    { [ -n "$BOUND" ] && [ -n "$OTHER" ]; } || { echo "not exactly one of two nodes bound"; return 1; }
}

# The channel of a consumer node, from its node name in the modalias: ACPI
# (PWMC, PWMD) or the device tree (dimmer, dimmer-twin).
channel_of()
{
    case $(cat "$1/modalias") in
    of:NpwmcT* | of:NdimmerT*) echo 0 ;;
    of:NpwmdT* | of:Ndimmer-twinT*) echo 1 ;;
    esac
}

one_region()
{
    local n
    n=$(grep -c ' pwm_ioctl$' /proc/devices)
    [ "$n" = 1 ] || { echo "$n pwm_ioctl regions in /proc/devices"; return 1; }
}

class_alone()
{
    equal "$(echo /sys/class/pwm_ioctl/*)" /sys/class/pwm_ioctl/pwm_ctrl "class pwm_ioctl"
}

# The failed node's PWM was given back: sysfs can export its channel.
channel_free()
{
    local chip
    chip=$(controller_chip)
    echo "$1" >"$chip/export" && echo "$1" >"$chip/unexport"
}

# The driver's one line for the refused node, naming the bound one, and the
# driver core's report of the probe's EBUSY.
refused_once()
{
    local other bound lines
    other=$(basename "$OTHER") bound=$(basename "$BOUND")
    lines=$(dmesg | grep -c 'already published')
    [ "$lines" = 1 ] || { echo "$lines lines say the node is already published"; return 1; }
    dmesg | grep -qF "$other: /dev/pwm_ctrl is already published by $bound" ||
        { echo "no line for $other naming $bound: $(dmesg | grep 'already published')"; return 1; }
    dmesg | grep -qE "probe of $other (failed with error|with driver pwm-ioctl failed with error) -16" ||
        { echo "the probe of $other did not fail with EBUSY: $(dmesg | grep "$other" | tail -2)"; return 1; }
}

applies_on()
{
    pwmctl_applies 0 1 "ch$1 period=1000000 duty=$2 polarity=0 enabled=0" set --duty "$2" --period 1000000
}

pwm_scenario()
{
    bring_up_pwm
    # The other node's probe may still be running: let it end.
    sleep 1
    pick_nodes
    if ! check "one node bound, the other not" one_bound; then
        return
    fi
    check "the other node refused in one line, with EBUSY" refused_once
    check "one device-number region" one_region
    check "one class device" class_alone
    check "the other node's PWM is free" channel_free "$(channel_of "$OTHER")"
    check "commands reach the bound node's channel" applies_on "$(channel_of "$BOUND")" 200000
    validate_slabs
    check "no use after free, BUG, WARN, Oops or call trace" kernel_clean
    basename "$BOUND" >"$PWM_DRIVER/unbind"
    check "the other node binds once the first is unbound" sh -c "echo $(basename "$OTHER") >$PWM_DRIVER/bind"
    check "commands reach the other node's channel" applies_on "$(channel_of "$OTHER")" 300000
}
