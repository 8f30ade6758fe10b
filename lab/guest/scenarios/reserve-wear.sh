# shellcheck shell=dash
# The record's own partition wears out. In boot 1 six of the eight blocks of
# the reserve partition fail after one to three erases (nandsim weakblocks):
# bootinfo stores the record again and again while they fail, then application
# A is erased, so that bootward must store its mark and its switch on what is
# left. Boot 2 runs from B and rebuilds A.

WEAR_STORES=24

before_boot()
{
    [ "$1" = 1 ] || { record_json >/tmp/record.before; return 0; }
    local n=0 ok=0 value
    while [ $n -lt $WEAR_STORES ]; do
        value=wrong
        [ $((n % 2)) = 1 ] && value=ok
        if bootinfo set data log $value 2>>/tmp/wear.err && [ "$(record_slot 13 data)" = $value ]; then
            ok=$((ok + 1))
        fi
        n=$((n + 1))
    done
    check "every store went on while reserve blocks wore out" equal "$ok" "$WEAR_STORES" \
        "stores that succeeded and read back ($(tr '\n' ' ' </tmp/wear.err))"
    check "the worn blocks of the reserve partition are marked bad" at_least "$(reserve_bad_blocks)" 6 \
        "blocks marked bad"
    figure "reserve wear: $ok of $WEAR_STORES stores succeeded and read back," \
        "$(reserve_bad_blocks) of 8 blocks marked bad"
    flash_erase -q /dev/mtd11 0 0
}

after_boot()
{
    check_running_app_kept
    case $1 in
    1)
        check "application A is marked wrong" equal "$(record_slot 11 data)" wrong "data status of app_a"
        check "the record now boots system B" equal "$(record_boot)" B "boot system"
        check "the log slot keeps its last stored value" equal "$(record_slot 13 data)" ok "data status of log"
        ;;
    2)
        check "/app is system B's application partition" mounted_from /app 2
        check "application A holds system B's files" volume_files_match 11 1 "$DATA/app-b.manifest"
        check "application A is marked good again" equal "$(record_slot 11 data)" ok "data status of app_a"
        ;;
    esac
}

reserve_bad_blocks()
{
    cat /sys/class/mtd/mtd6/bad_blocks 2>/dev/null || echo 0
}

at_least()
{
    [ "$1" -ge "$2" ] || { echo "$3: $1, at least $2 expected"; return 1; }
}
