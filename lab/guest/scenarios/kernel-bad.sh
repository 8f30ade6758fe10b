# shellcheck shell=dash
# Kernel B marked bad while A runs; erase block 2 of kernel B is a bad block
# from the factory. bootward copies kernel A onto kernel B raw, through the
# upgrade service, skipping the bad block.

before_boot()
{
    bootinfo set data kernel_b wrong >/dev/null
}

after_boot()
{
    check_running_app_kept
    check "/app is system A's application partition" mounted_from /app 1
    check "kernel B is marked good again" equal "$(record_slot 10 data)/$(record_slot 10 upgrade)" ok/none \
        "data/upgrade status of kernel_b"
    check "kernel B's header is A's, with B's name and index" header_copied 9 10 kernel_b
    check "kernel B holds kernel A's raw content, block by good block" raw_copied 9 10
    check "kernel B's bad block was not written" bad_block_untouched 10 2
    check "kernel A is unchanged" raw_starts_with 9 "$DATA/raw/kernel_a.bin"
}

# raw_copied SRC DST: the good blocks of DST, in order, hold SRC's blocks; what
# SRC has beyond DST's good blocks is erased.
raw_copied()
{
    local size
    { raw_dump "$1" /tmp/src.raw && raw_dump "$2" /tmp/dst.raw; } || { echo "nanddump failed"; return 1; }
    size=$(wc -c </tmp/dst.raw)
    [ "$size" -lt "$(wc -c </tmp/src.raw)" ] || { echo "the bad block of mtd$2 was not skipped by nanddump"; return 1; }
    cmp -n "$size" /tmp/src.raw /tmp/dst.raw >/dev/null || { echo "mtd$2 differs from mtd$1"; return 1; }
    [ -z "$(tail -c +$((size + 1)) /tmp/src.raw | tr -d '\377' | head -c 1)" ] ||
        { echo "mtd$1 has data beyond the good blocks of mtd$2"; return 1; }
}

# bad_block_untouched MTD BLOCK: the bad block still reads erased.
bad_block_untouched()
{
    nanddump -q --bb=dumpbad -s $(($2 * NAND_PEB)) -l "$NAND_PEB" -f /tmp/bad.raw /dev/mtd"$1" ||
        { echo "nanddump failed"; return 1; }
    [ "$(wc -c </tmp/bad.raw)" -eq "$NAND_PEB" ] || { echo "block $2 of mtd$1 could not be read"; return 1; }
    [ -z "$(tr -d '\377' </tmp/bad.raw | head -c 1)" ] || { echo "block $2 of mtd$1 was written"; return 1; }
}

# raw_starts_with MTD FILE: the partition begins with the file's bytes.
raw_starts_with()
{
    raw_dump "$1" /tmp/part.raw || { echo "nanddump failed"; return 1; }
    cmp -n "$(wc -c <"$2")" "$2" /tmp/part.raw >/dev/null || { echo "mtd$1 does not hold $(basename "$2")"; return 1; }
}
