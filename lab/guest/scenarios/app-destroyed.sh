# shellcheck shell=dash
# Application partition A erased while system A is the one to boot. Boot 1
# cannot mount it: marks it, switches to B, reboots. Boot 2 runs from B and
# rebuilds A from B's files. Boot 3 is a normal boot from B.

before_boot()
{
    [ "$1" = 1 ] && flash_erase -q /dev/mtd11 0 0
    record_json >/tmp/record.before
}

after_boot()
{
    check_running_app_kept
    case $1 in
    1) check_switched_to_b ;;
    2) check_a_rebuilt_from_b ;;
    3) check_normal_boot_from_b ;;
    esac
}

check_switched_to_b()
{
    check "bootward tried application A four times" equal "$(count_commands '^mount -t ubifs ubi1_0 /app$')" 4 \
        "mount attempts"
    check "application A is marked wrong" equal "$(record_slot 11 data)" wrong "data status of app_a"
    check "the record now boots system B" equal "$(record_boot)" B "boot system"
    check "nothing was formatted before the reboot" no_command '^ubiformat'
    check "cfgward did not run after the reboot request" no_command ' ubi[34]_0 /parameter'
}

check_a_rebuilt_from_b()
{
    check "/app is system B's application partition" mounted_from /app 2
    check "/app holds system B's files" files_match /app "$DATA/app-b.manifest"
    check "application A was formatted from the backup image" ran_command '^ubiformat /dev/mtd11 -f /backup/app.ubifs -y$'
    check "application A holds system B's files" volume_files_match 11 1 "$DATA/app-b.manifest"
    check "application A is marked good again" equal "$(record_slot 11 data)/$(record_slot 11 upgrade)" ok/none \
        "data/upgrade status of app_a"
    check "application A's header is B's, with A's name and index" header_copied 12 11 app_a
    check "/reserve was removed" test ! -e /reserve
    check "configuration A and B mounted and unchanged" configs_unchanged
}

check_normal_boot_from_b()
{
    check "/app is system B's application partition" mounted_from /app 2
    check "nothing was formatted" no_command '^ubiformat'
    check "the record is unchanged" same_record /tmp/record.before
    check "application A still holds system B's files" volume_files_match 11 1 "$DATA/app-b.manifest"
}

configs_unchanged()
{
    mounted_from /parameter0 3 && mounted_from /parameter1 4 &&
        files_match /parameter0 "$DATA/cfg-a.manifest" && files_match /parameter1 "$DATA/cfg-b.manifest"
}
