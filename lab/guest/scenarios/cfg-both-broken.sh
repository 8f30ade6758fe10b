# shellcheck shell=dash
# Both configuration partitions erased: neither mounts, and cfgward resets both
# from the backup image.

before_boot()
{
    flash_erase -q /dev/mtd7 0 0 && flash_erase -q /dev/mtd8 0 0
}

after_boot()
{
    check_running_app_kept
    check "cfgward exits 0" equal "$CFGWARD_STATUS" 0 "exit status"
    check "both were formatted from the backup image" equal \
        "$(count_commands '^ubiformat /dev/mtd[78] -f /backup/parameter.ubifs -y$')" 2 "formats"
    check "/parameter0 is configuration A" mounted_from /parameter0 3
    check "/parameter1 is configuration B" mounted_from /parameter1 4
    check "/parameter0 holds the image's files" files_match /parameter0 "$DATA/cfg-image.manifest"
    check "/parameter1 holds the image's files" files_match /parameter1 "$DATA/cfg-image.manifest"
    check "both are marked good" equal "$(record_slot 7 data)/$(record_slot 8 data)" ok/ok \
        "data status of parameter_a/parameter_b"
}
