# shellcheck shell=dash
# The simulated NAND and its persistence. nandsim keeps the chip in RAM only,
# so the whole chip goes to the raw virtio disk at power-off and comes back,
# block for block, at the next power-on (lab_nandstate).

STATE_DISK=/dev/vda

load_nand()
{
    # One modprobe for several modules: each process costs under the emulator.
    modprobe -a virtio_pci virtio_blk || return 1
    # badblocks: bad from the factory; weakblocks: blocks that wear out after
    # so many erases in this power-on (nandsim counts them in RAM only).
    set -- id_bytes="$NAND_ID" parts="$NAND_PARTS"
    [ -n "$BADBLOCKS" ] && set -- "$@" badblocks="$BADBLOCKS"
    [ -n "$WEAKBLOCKS" ] && set -- "$@" weakblocks="$WEAKBLOCKS"
    modprobe nandsim "$@" || return 1
    # UBIFS compresses with zstd and needs zlib's deflate (a module on armmp),
    # and no module dependency pulls them in.
    modprobe -a ubi zstd deflate ubifs || return 1
    local tries=0
    while [ ! -b "$STATE_DISK" ] && [ $tries -lt 50 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -b "$STATE_DISK" ] && [ -c /dev/mtd$((NAND_MTD_COUNT - 1)) ]
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
