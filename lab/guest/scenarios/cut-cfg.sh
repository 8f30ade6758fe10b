# shellcheck shell=dash
# Power cuts during a configuration rebuild. Configuration A is erased before
# boot 1, whose cfgward rebuilds it from B; the host cuts the power before one
# of the rebuild's commands. The newest finished configuration is B's: no file
# of it may be lost, on either side, once the board is back to a normal boot.

# cfgward marks the side in the record before its format, so a rebuild cut off
# after the format, while the side holds the image's files, is taken up again.

before_boot()
{
    [ "$1" = 1 ] && flash_erase -q /dev/mtd7 0 0
}

after_boot()
{
    check_running_app_kept
    check "/app is system A's application partition" mounted_from /app 1
    [ "$DEVICE_STATE" = normal ] || return 0
    check "no file of the configuration is lost from the device" files_kept_on_either "$DATA/cfg-b.manifest"
    check "no file of the configuration is lost on /parameter0" files_kept /parameter0 "$DATA/cfg-b.manifest"
    check "no file of the configuration is lost on /parameter1" files_kept /parameter1 "$DATA/cfg-b.manifest"
}

# Every file of the manifest is on one side at least, unchanged.
files_kept_on_either()
{
    local lost
    { manifest_of /parameter0 && manifest_of /parameter1; } >/tmp/sides
    lost=$(lines_missing "$1" /tmp/sides) || { echo "cannot compare"; return 1; }
    lost=$(echo "$lost" | awk 'NF {print $2}' | tr '\n' ' ')
    [ -z "$lost" ] || { echo "on neither side: $lost"; return 1; }
}
