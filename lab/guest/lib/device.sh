# shellcheck shell=dash
# The device's own boot: the guides started by the installed BusyBox init
# script, as the device's rcS starts it. While they run, the lab's command
# wrappers come first in PATH (lab/guest/bin/trace).

GUIDES_SCRIPT=/etc/init.d/S15partition-guides

# The kernel log's lines of the guides and of their init script, without the
# time stamps.
guide_log()
{
    dmesg | sed -nE 's/^(<[0-9]+>)?(\[[^]]*\] )?((bootward|cfgward|partition-guides): .*)/\3/p'
}

# guide_status NAME: the exit status the init script reported for the guide,
# "-" when it did not run it.
guide_status()
{
    local status
    status=$(guide_log | sed -nE "s/^partition-guides: $1 (exited|failed) with status ([0-9]+).*/\2/p" | tail -1)
    echo "${status:--}"
}

# DEVICE_STATE after a boot: rebooting (bootward asked for a reboot), repaired
# (a partition was formatted), failed (cfgward failed or a mount is missing) or normal.
device_boot()
{
    echo 0 >"$LAB_STATE/count"
    : >"$LAB_STATE/commands"
    : >"$LAB_STATE/times"
    rm -f "$LAB_STATE/reboot"
    [ -n "$CUT" ] && echo "$CUT" >"$LAB_STATE/cut"
    running_app_part >"$LAB_STATE/running"
    rm -f "$LAB_STATE/guides-done"
    local t0 printk
    t0=$(now)
    echo "$t0" >"$LAB_STATE/t0"
    echo "=== $GUIDES_SCRIPT start at ${t0}s"
    # The guides' lines reach the kernel log at notice level: on the serial
    # console too while they run, so that a power cut's log keeps them.
    read -r printk _ </proc/sys/kernel/printk
    echo 6 >/proc/sys/kernel/printk
    [ -n "$CUT_AT" ] && start_freezer "$CUT_AT"
    start_guides
    stop_freezer
    echo "$printk" >/proc/sys/kernel/printk
    [ -e "$LAB_STATE/cut-done" ] && warm_boot_after_cut
    GUIDES_TIME=$(elapsed "$t0" "$(now)")
    # shellcheck disable=SC2034 # the scenarios' checks read it
    BOOTWARD_STATUS=$(guide_status bootward)
    CFGWARD_STATUS=$(guide_status cfgward)
    if [ -e "$LAB_STATE/reboot" ]; then
        DEVICE_STATE=rebooting
        [ "$CFGWARD_STATUS" = - ] || fail "init script" "cfgward ran after bootward had asked for a reboot"
        return
    fi
    DEVICE_STATE=normal
    grep -q '	ubiformat ' "$LAB_STATE/commands" && DEVICE_STATE=repaired
    if [ "$CFGWARD_STATUS" != 0 ] || ! is_mounted /app || ! is_mounted /parameter0 || ! is_mounted /parameter1; then
        DEVICE_STATE=failed
    fi
    echo "=== device state: $DEVICE_STATE (guides took ${GUIDES_TIME}s)"
}

# The installed init script with the lab's wrappers first in PATH; its process
# number is kept for a power cut at a random instant (freeze.sh stops it and
# every guide and command it started).
start_guides()
{
    PATH=$TRACE_DIR:$PATH "$GUIDES_SCRIPT" start &
    echo $! >"$LAB_STATE/guide-pid"
    wait $!
}

is_mounted()
{
    grep -q " $1 ubifs " /proc/mounts
}

# Everything UBI down, as the device's shutdown leaves the flash.
take_down_all()
{
    local mounts dir dev
    # Read whole before the first umount changes the table.
    mounts=$(awk '$3 == "ubifs" {print $2}' /proc/mounts)
    for dir in $mounts; do
        umount "$dir"
    done
    for dev in /sys/class/ubi/ubi[0-9]*; do
        [ -e "$dev" ] || continue
        [ -e "$dev/mtd_num" ] || continue
        ubidetach -d "${dev##*ubi}" /dev/ubi_ctrl >/dev/null
    done
}

# The running system's application partition is never formatted: no power cut,
# damage or repair may cost the system that runs its own /app.
check_running_app_kept()
{
    check "the running system's application partition (mtd$(cat "$LAB_STATE/running")) was not formatted" \
        no_command "^ubiformat /dev/mtd$(cat "$LAB_STATE/running") "
}

# The commands the guides ran in this boot, as the shell got them.
guide_commands()
{
    cut -f2- "$LAB_STATE/commands"
}
