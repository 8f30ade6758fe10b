# The device's own boot: bootward, then cfgward, as its init runs them. While
# they run, the lab's command wrappers come first in PATH (lab/guest/bin/trace).

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
    local t0
    t0=$(now)
    echo "$t0" >"$LAB_STATE/t0"
    echo "=== bootward at ${t0}s"
    [ -n "$CUT_AT" ] && start_freezer "$CUT_AT"
    run_guide bootward
    BOOTWARD_STATUS=$GUIDE_STATUS
    if [ -e "$LAB_STATE/reboot" ]; then
        stop_freezer
        DEVICE_STATE=rebooting
        GUIDES_TIME=$(elapsed "$t0" "$(now)")
        return
    fi
    echo "=== cfgward"
    run_guide cfgward
    CFGWARD_STATUS=$GUIDE_STATUS
    stop_freezer
    GUIDES_TIME=$(elapsed "$t0" "$(now)")
    DEVICE_STATE=normal
    grep -q '	ubiformat ' "$LAB_STATE/commands" && DEVICE_STATE=repaired
    if [ "$CFGWARD_STATUS" -ne 0 ] || ! is_mounted /app || ! is_mounted /parameter0 || ! is_mounted /parameter1; then
        DEVICE_STATE=failed
    fi
    echo "=== device state: $DEVICE_STATE (guides took ${GUIDES_TIME}s)"
}

# run_guide NAME: the guide with the lab's wrappers first in PATH; its process
# number is kept for a power cut at a random instant (freeze.sh).
run_guide()
{
    PATH=$TRACE_DIR:$PATH "$1" &
    echo $! >"$LAB_STATE/guide-pid"
    wait $!
    GUIDE_STATUS=$?
}

is_mounted()
{
    grep -q " $1 ubifs " /proc/mounts
}

# Everything UBI down, as the device's shutdown leaves the flash.
take_down_all()
{
    local dir dev
    for dir in $(awk '$3 == "ubifs" {print $2}' /proc/mounts); do
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
