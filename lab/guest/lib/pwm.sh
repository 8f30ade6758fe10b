# shellcheck shell=dash
# The PWM scenarios' power-on: no NAND and no guides, only the PWM devices that
# the ACPI table describes (PRP0001 platform devices), dimmerdev, the lab's
# controller labpwm, and the scenario's pwm_scenario.

PWM_PLATFORM=/sys/bus/platform/devices
# shellcheck disable=SC2034 # read by the scenarios (lab/guest/scenarios/pwm-*.sh), as the two below
PWM_MODPROBE=/usr/sbin/modprobe
# shellcheck disable=SC2034
PWM_DRIVER=/sys/bus/platform/drivers/pwm-ioctl
# shellcheck disable=SC2034
PWM_DEFERRED=/sys/kernel/debug/devices_deferred

pwm_scenario()
{
    fail "scenario" "$SCENARIO has no pwm_scenario"
}

# The platform device whose modalias names COMPATIBLE (the first, or the Nth).
node_of()
{
    grep -l "C$1\$" "$PWM_PLATFORM"/*/modalias 2>/dev/null | sed -n "${2:-1}p" | xargs -r dirname
}

controller_node()
{
    node_of lab,fake-pwm
}

# What labpwm recorded: "SEQ chN period=P duty=D polarity=X enabled=Y" lines.
applies_file()
{
    echo "$(controller_node)/applies"
}

clear_applies()
{
    echo 1 >"$(applies_file)"
}

applies_count()
{
    grep -c . "$(applies_file)"
}

last_apply()
{
    tail -n 1 "$(applies_file)" | cut -d' ' -f2-
}

# The controller's PWM chip, its node's pwm/pwmchipN.
controller_chip()
{
    local chip
    for chip in "$(controller_node)"/pwm/pwmchip*; do
        [ -e "$chip" ] && echo "$chip"
        return 0
    done
}

module_loaded()
{
    grep -q "^$1 " /proc/modules
}

bound_to()
{
    [ -e "$1/driver" ] && [ "$(basename "$(readlink "$1/driver")")" = "$2" ]
}

# wait_for TENTHS COMMAND...: polls until the command succeeds.
wait_for()
{
    local tries=$1
    shift
    while ! "$@" 2>/dev/null; do
        [ "$tries" -gt 0 ] || return 1
        tries=$((tries - 1))
        sleep 0.1
    done
}

# mdev in daemon mode: uevents reach it over netlink, and its rule loads the
# module of every uevent's MODALIAS (etc/mdev.conf).
start_mdev()
{
    mdev -d
}

# What udev's coldplug does for devices that appeared before it ran: replay
# their add events.
announce()
{
    echo add >"$1/uevent"
}

# Lines "PASS what" / "FAIL what: why" of a check program, as results.
report_lines()
{
    local line seen=0
    while IFS= read -r line; do
        case $line in
        "PASS "* | "FAIL "* | "FIGURE "*) result "$line"; seen=1 ;;
        *) echo "$line" ;;
        esac
    done
    [ $seen = 1 ]
}

# run_checks WHAT PROGRAM ARGS...: the program's results, and a failure when
# it reports nothing, or fails without saying which check.
run_checks()
{
    local what=$1 status
    shift
    "$@" >/tmp/checks.out 2>&1
    status=$?
    report_lines </tmp/checks.out || fail "$what" "no results (status $status): $(tail -3 /tmp/checks.out | tr '\n' ' ')"
    if [ $status -ne 0 ] && ! grep -q '^FAIL ' /tmp/checks.out; then
        fail "$what" "ended with status $status: $(tail -3 /tmp/checks.out | tr '\n' ' ')"
    fi
}

# The kernel's complaints: a use after free under slub_debug, any BUG, WARN or
# Oops, and stack dumps without them (sysfs's "cannot create duplicate
# filename" prints only a call trace).
kernel_clean()
{
    local hits
    hits=$(dmesg | grep -E 'Poison overwritten|BUG|WARN|Oops|cut here|Call Trace|cannot create duplicate filename|Object padding|Redzone' | head -3)
    [ -z "$hits" ] || { echo "$hits"; return 1; }
}

bring_up_debugfs()
{
    mount -t debugfs debugfs /sys/kernel/debug 2>/dev/null || true
}

pwm_main()
{
    echo "LAB: PWM scenario $SCENARIO, uptime $(now)s"
    bring_up_debugfs
    # shellcheck source=/dev/null # lab/guest/scenarios/*.sh, each checked on its own
    . "/lab/scenarios/$SCENARIO.sh"
    pwm_scenario
    result "STATE done"
    poweroff -f
}

consumer_node()
{
    node_of vendor,pwm-ioctl "${1:-1}"
}

# Every PWM node announced, the consumer bound within 10 s.
bring_up_pwm()
{
    local node
    start_mdev
    for node in $(controller_node) $(node_of vendor,pwm-ioctl 1) $(node_of vendor,pwm-ioctl 2); do
        announce "$node"
    done
    wait_for 100 bound_to "$(consumer_node 1)" pwm-ioctl
}

# The node of the class device, with the number the class gives it.
node_matches_class()
{
    local dev
    [ -c /dev/pwm_ctrl ] || { echo "/dev/pwm_ctrl is not a character device"; return 1; }
    dev=$(cat /sys/class/pwm_ioctl/pwm_ctrl/dev 2>/dev/null) || { echo "no class device pwm_ioctl/pwm_ctrl"; return 1; }
    # shellcheck disable=SC2046
    set -- $(stat -c '%t %T' /dev/pwm_ctrl)
    equal "$(printf '%d:%d' "0x$1" "0x$2")" "$dev" "the node's number"
}

# pwmctl_applies STATUS COUNT LAST pwmctl-args...: pwmctl exits STATUS and the
# controller recorded COUNT states, the last one LAST.
pwmctl_applies()
{
    local want_status=$1 want_count=$2 want_last=$3 status=0 count
    shift 3
    clear_applies
    pwmctl "$@" >/tmp/pwmctl.out 2>&1 || status=$?
    [ "$status" = "$want_status" ] ||
        { echo "pwmctl $* exited $status, expected $want_status: $(cat /tmp/pwmctl.out)"; return 1; }
    count=$(applies_count)
    [ "$count" = "$want_count" ] || { echo "pwmctl $* made $count applies, expected $want_count"; return 1; }
    [ "$want_count" = 0 ] || equal "$(last_apply)" "$want_last" "the state applied"
}

# pwmctl_shows TEXT: pwmctl get prints exactly that (lines joined by ';').
pwmctl_shows()
{
    equal "$(pwmctl get | tr '\n' ';')" "$1" "pwmctl get"
}

# The driver's raw checks on channel CHANNEL of the controller.
raw_checks()
{
    run_checks "raw ioctls" pwm_ioctl_check commands /dev/pwm_ctrl "$(controller_node)" "$1"
}

# The same checks from a 32-bit (i386) build of the checker, which reaches the
# driver through its compat_ioctl; its results are named "32-bit program: ...".
raw_checks_32bit()
{
    local status
    pwm_ioctl_check32 commands /dev/pwm_ctrl "$(controller_node)" "$1" >/tmp/checks32.out 2>&1
    status=$?
    sed -E 's/^(PASS|FAIL) /\1 32-bit program: /' /tmp/checks32.out | report_lines ||
        fail "raw ioctls, 32-bit program" "no results (status $status): $(tail -3 /tmp/checks32.out | tr '\n' ' ')"
    if [ $status -ne 0 ] && ! grep -q '^FAIL ' /tmp/checks32.out; then
        fail "raw ioctls, 32-bit program" "ended with status $status: $(tail -3 /tmp/checks32.out | tr '\n' ' ')"
    fi
}

# The checker is an ELF32 program and the kernel a 64-bit one.
runs_32bit_on_64bit()
{
    local class
    class=$(od -An -tx1 -j4 -N1 /usr/bin/pwm_ioctl_check32 | tr -d ' ')
    [ "$class" = 01 ] || { echo "pwm_ioctl_check32 is ELF class $class, not 32-bit"; return 1; }
    equal "$(uname -m)" x86_64 "the kernel's machine"
}

# The validation of every slab cache, so that a write into freed memory is
# found now rather than at the next allocation.
validate_slabs()
{
    local cache
    for cache in /sys/kernel/slab/*/validate; do
        echo 1 >"$cache" 2>/dev/null
    done
}
