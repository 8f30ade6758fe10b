# shellcheck shell=dash
# The simulated NAND and its persistence. nandsim keeps the chip in RAM only,
# so the whole chip goes to the raw virtio disk at power-off and comes back,
# block for block, at the next power-on (lab_nandstate).

STATE_DISK=/dev/vda

load_nand()
{
    # One modprobe for several modules: each process costs under the emulator
    # (the ARM board loaded the disk's with its results port).
    [ -d /sys/module/virtio_blk ] || modprobe -a virtio_pci virtio_blk || return 1
    # badblocks: bad from the factory; weakblocks: blocks that wear out after
    # so many erases in this power-on (nandsim counts them in RAM only).
    # nandsim's options go through modprobe's configuration (the initramfs's
    # /etc, written anew at every power-on), so that the chip
    # comes with UBI and UBIFS in one modprobe; UBIFS compresses with zstd and
    # needs zlib's deflate (a module on armmp), and no module dependency pulls
    # them in.
    mkdir -p /etc/modprobe.d
    {
        printf 'options nandsim id_bytes=%s parts=%s' "$NAND_ID" "$NAND_PARTS"
        [ -n "$BADBLOCKS" ] && printf ' badblocks=%s' "$BADBLOCKS"
        [ -n "$WEAKBLOCKS" ] && printf ' weakblocks=%s' "$WEAKBLOCKS"
        echo
    } >/etc/modprobe.d/nandsim.conf
    modprobe -a nandsim ubi zstd deflate ubifs || return 1
    wait_node -b "$STATE_DISK" && wait_node -c /dev/mtd$((NAND_MTD_COUNT - 1))
}

all_mtds()
{
    local n=0
    while [ $n -lt "$NAND_MTD_COUNT" ]; do
        echo /dev/mtd$n
        n=$((n + 1))
    done
}

# The whole chip, as it is this instant, to the state disk.
nand_save()
{
    # shellcheck disable=SC2046 # one argument per MTD device
    lab_nandstate save "$STATE_DISK" $(all_mtds)
}

nand_restore()
{
    # shellcheck disable=SC2046 # one argument per MTD device
    lab_nandstate restore "$STATE_DISK" $(all_mtds)
}
