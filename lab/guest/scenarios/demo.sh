# shellcheck shell=dash
# The demo: a normal boot, then application A destroyed while the board is off,
# and the three boots that follow, told as a story.

before_boot()
{
    case $1 in
    1) story "A fresh board, system A. It boots as the device does: bootward, then cfgward." ;;
    2)
        flash_erase -q /dev/mtd11 0 0
        story "Power off; application partition A (mtd11) is erased. Power on."
        ;;
    3) story "The board comes back from bootward's reboot." ;;
    4) story "And once more." ;;
    esac
}

after_boot()
{
    story "$(what_happened)"
    story "  /app: $(mount_source /app)  /parameter0: $(mount_source /parameter0)  /parameter1: $(mount_source /parameter1)"
    story "  guides: $GUIDES_TIME s, $(wc -l <"$LAB_STATE/commands") command lines"
    check_running_app_kept
    case $1 in
    1 | 4) check "a normal boot" equal "$DEVICE_STATE" normal "device state" ;;
    2) check "bootward switched to system B" equal "$(record_boot)" B "boot system" ;;
    3) check "application A holds system B's files again" volume_files_match 11 1 "$DATA/app-b.manifest" ;;
    esac
}

what_happened()
{
    local formats
    formats=$(guide_commands | sed -n 's/^ubiformat \(\/dev\/mtd[0-9]*\) .*/\1/p' | tr '\n' ' ')
    case $DEVICE_STATE in
    rebooting) echo "bootward could not mount /app from $(mount_partition_tried), marked it wrong, switched the record to system $(record_boot) and rebooted." ;;
    repaired) echo "A repair: ${formats}formatted and refilled; the board runs system $(record_boot)." ;;
    normal) echo "A normal boot of system $(record_boot): everything mounted, nothing repaired." ;;
    *) echo "The boot ended $DEVICE_STATE." ;;
    esac
}

mount_partition_tried()
{
    guide_commands | sed -n 's/^ubiattach .* -m \([0-9]*\) .*/mtd\1/p' | head -1
}

mount_source()
{
    local source
    source=$(awk -v d="$1" '$2 == d {print $1}' /proc/mounts | head -1)
    echo "${source:-not mounted}"
}
