# shellcheck shell=dash
# Warm boots: a power-on given lab.boots=N makes up to N boots, one after the
# other, until one ends normal, as the power-cut scenarios' boots do. The next
# boot starts without a new VM: the processes of this one are killed, the
# kernel's UBI and UBIFS unloaded, its log and temporary file systems emptied,
# and /init runs again with LAB_WARM set ("BOOT BOOTS-LEFT CHIP").
#
# CHIP says where the next boot's NAND comes from. After a boot that ended
# with everything UBI taken down, as at every power-off, it is "kept": the
# chip stays in nandsim as it is, which is what a save to the state disk and a
# restore would bring back (a chip keeps its contents without power). After a
# power cut it is "restore": nandsim is unloaded too and the next boot brings
# the chip back from the state disk, as the cut saved it, exactly as a
# power-on does; whatever the dying boot's kernel still wrote is gone with it.
#
# Not started anew: the kernel below UBI (MTD, the virtio disk; nandsim too
# when the chip is kept) and the initramfs, which the guides only read and
# make mount points in. A board that cannot take UBI down, or whose nandsim
# counts wear that a new power-on would reset (lab.weakblocks), powers off
# instead, and the host's next power-on follows.

# Nothing of UBI is attached.
ubi_all_down()
{
    local dev
    for dev in /sys/class/ubi/ubi[0-9]*; do
        [ -e "$dev/mtd_num" ] && return 1
    done
    return 0
}

warm_allowed()
{
    [ "${LAB_BOOTS:-1}" -gt 1 ] && [ -z "$WEAKBLOCKS" ]
}

# After a clean power-off: more boots are allowed, this one did not end
# normal, it was not one meant for a power cut that did not happen (the
# host takes that up) and everything UBI is down.
warm_boot_next()
{
    warm_allowed && [ "$DEVICE_STATE" != normal ] && [ -z "$CUT$CUT_AT" ] && ubi_all_down
}

# Ends this boot (after its STATE) and starts the next with the chip CHIP
# (kept or restore); does not return. UBI and UBIFS start anew in the next
# boot (after a cut they are already gone, with nandsim).
warm_boot()
{
    local next=$((BOOT + 1))
    result "WARM $next"
    echo "=== warm boot $next, chip $1, uptime $(now)s"
    kill -KILL -1 2>/dev/null
    modprobe -r ubifs ubi 2>/dev/null
    dmesg -c >/dev/null
    cd / && umount /tmp /run
    exec env LAB_WARM="$next $((LAB_BOOTS - 1)) $1" /init
}

# The power cut's own end (bin/powercut, freeze.sh), once the NAND is saved and
# STATE reported: the power goes off, or, when the board may boot again warm,
# every process but init (this one included) dies at once, and init, whose
# guides then end, starts the next boot (warm_boot_after_cut).
cut_power_off()
{
    if warm_allowed; then
        : >"$LAB_STATE/cut-done"
        kill -KILL -1 2>/dev/null
        exit 0
    fi
    echo o >/proc/sysrq-trigger
    sleep 60
}

# In init, once the guides ended by a power cut: UBI and nandsim down, then the
# next boot, its chip from the state disk. Powers off when the board cannot be
# taken down (a process still in the kernel): the host's next power-on follows.
warm_boot_after_cut()
{
    local tries=0
    kill -KILL -1 2>/dev/null
    until take_down_all 2>/dev/null && ubi_all_down && modprobe -r ubifs ubi nandsim 2>/dev/null; do
        tries=$((tries + 1))
        [ $tries -lt 20 ] || poweroff -f
        sleep 0.05
    done
    warm_boot restore
}

# The next boot's NAND: the chip kept in nandsim, or brought back from the
# state disk.
warm_bring_up()
{
    case $LAB_WARM in
    *" restore") load_nand && nand_restore ;;
    *) modprobe -a ubi zstd deflate ubifs ;;
    esac
}
