# shellcheck shell=dash
# Configuration partition A erased: it cannot be mounted. cfgward rebuilds it
# from the backup image and the files of configuration B.

before_boot()
{
    flash_erase -q /dev/mtd7 0 0
}

after_boot()
{
    check_running_app_kept
    check "cfgward exits 0" equal "$CFGWARD_STATUS" 0 "exit status"
    check "configuration A was tried three times" equal "$(count_commands '^mount -t ubifs ubi3_0 /parameter0$')" 4 \
        "mounts on /parameter0 (three attempts and the one after the rebuild)"
    check "configuration A was formatted from the backup image" \
        ran_command '^ubiformat /dev/mtd7 -f /backup/parameter.ubifs -y$'
    check "configuration B was not formatted" no_command '^ubiformat /dev/mtd8 '
    check "/parameter0 is configuration A" mounted_from /parameter0 3
    check "/parameter1 is configuration B" mounted_from /parameter1 4
    check "/parameter0 holds configuration B's files" files_match /parameter0 "$DATA/cfg-b.manifest"
    check "/parameter1 holds configuration B's files" files_match /parameter1 "$DATA/cfg-b.manifest"
    check "configuration A is marked good" equal "$(record_slot 7 data)/$(record_slot 8 data)" ok/ok \
        "data status of parameter_a/parameter_b"
    check "/reserve was removed" test ! -e /reserve
}
