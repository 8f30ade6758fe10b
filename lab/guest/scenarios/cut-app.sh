# shellcheck shell=dash
# Power cuts during an application rebuild. Application A is erased before
# boot 1, which switches to B; boot 2 rebuilds A from B, and the host cuts the
# power before one of the rebuild's commands. Whatever boots follow must keep
# B's /app, lose no configuration file, and come back to a normal boot.

before_boot()
{
    [ "$1" = 1 ] && flash_erase -q /dev/mtd11 0 0
}

after_boot()
{
    check_running_app_kept
    [ "$DEVICE_STATE" = rebooting ] && return
    check "/app is system B's application partition, with its files" app_is_b
    check "no file of the configuration is lost on /parameter0" files_kept /parameter0 "$DATA/cfg-a.manifest"
    check "no file of the configuration is lost on /parameter1" files_kept /parameter1 "$DATA/cfg-b.manifest"
    if [ "$DEVICE_STATE" = normal ]; then
        check "application A holds system B's files" volume_files_match 11 1 "$DATA/app-b.manifest"
        check "application A is marked good" equal "$(record_slot 11 data)" ok "data status of app_a"
    fi
}

app_is_b()
{
    mounted_from /app 2 && files_match /app "$DATA/app-b.manifest"
}
