# The simulated NAND and its persistence. nandsim keeps the chip in RAM only,
# so the whole chip goes to the raw virtio disk at power-off and comes back,
# block for block, at the next power-on.

STATE_DISK=/dev/vda

load_nand()
{
    modprobe virtio_pci && modprobe virtio_blk || return 1
    if [ -n "$BADBLOCKS" ]; then
        modprobe nandsim id_bytes="$NAND_ID" parts="$NAND_PARTS" badblocks="$BADBLOCKS"
    else
        modprobe nandsim id_bytes="$NAND_ID" parts="$NAND_PARTS"
    fi || return 1
    # UBIFS compresses with zstd, and no module dependency pulls it in.
    modprobe ubi && modprobe zstd && modprobe ubifs || return 1
    local tries=0
    while [ ! -b "$STATE_DISK" ] && [ $tries -lt 50 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -b "$STATE_DISK" ] && [ -c /dev/mtd$((NAND_MTD_COUNT - 1)) ] && nand_layout
}

# PART_BASE_n and PART_BLOCKS_n: first chip block and size, in erase blocks,
# of partition n (the state disk mirrors the chip).
nand_layout()
{
    local n=0 base=0 blocks
    while [ $n -lt "$NAND_MTD_COUNT" ]; do
        blocks=$(($(cat /sys/class/mtd/mtd$n/size) / NAND_PEB))
        eval "PART_BASE_$n=$base PART_BLOCKS_$n=$blocks"
        base=$((base + blocks))
        n=$((n + 1))
    done
}

part_first_block()
{
    eval "echo \$PART_BASE_$1"
}

part_blocks()
{
    eval "echo \$PART_BLOCKS_$1"
}

# The whole chip, as it is this instant, to the state disk.
nand_save()
{
    local n=0
    while [ $n -lt "$NAND_MTD_COUNT" ]; do
        dd if=/dev/mtd$n of="$STATE_DISK" bs="$NAND_PEB" seek="$(part_first_block $n)" conv=notrunc,fsync \
            2>/dev/null || return 1
        n=$((n + 1))
    done
}

# Write blocks [FIRST, FIRST+COUNT) of partition PART back from the state disk;
# erased pages are left alone.
restore_blocks()
{
    local part=$1 first=$2 count=$3 base
    [ "$count" -gt 0 ] || return 0
    base=$(part_first_block "$part")
    dd if="$STATE_DISK" bs="$NAND_PEB" skip=$((base + first)) count="$count" 2>/dev/null |
        nandwrite -q -k -p -s $((first * NAND_PEB)) /dev/mtd"$part" -
}

# Bad blocks (chip block numbers) of one partition, as partition block numbers.
bad_blocks_of()
{
    local part=$1 base size b
    base=$(part_first_block "$part")
    size=$(part_blocks "$part")
    for b in $(echo "$BADBLOCKS" | tr ',' ' '); do
        [ "$b" -ge "$base" ] && [ "$b" -lt $((base + size)) ] && echo $((b - base))
    done
}

# nandwrite moves data past a bad block, so ranges between bad blocks are
# written separately and every block lands where it was.
restore_part()
{
    local part=$1 from=0 bad blocks
    blocks=$(part_blocks "$part")
    for bad in $(bad_blocks_of "$part"); do
        restore_blocks "$part" $from $((bad - from)) || return 1
        from=$((bad + 1))
    done
    restore_blocks "$part" $from $((blocks - from))
}

nand_restore()
{
    local n=0
    while [ $n -lt "$NAND_MTD_COUNT" ]; do
        restore_part $n || return 1
        n=$((n + 1))
    done
}
