# shellcheck shell=dash
# System B runs and is upgraded: new files in its /app, a new image header and
# its upgrade marked finished. At the next boot bootward copies B onto A.

before_boot()
{
    [ "$1" = 1 ] && bootinfo set boot B >/dev/null
}

after_boot()
{
    check_running_app_kept
    case $1 in
    1)
        check "/app is system B's application partition" mounted_from /app 2
        upgrade_b
        ;;
    2) check_upgrade_reached_a ;;
    esac
}

# What the upgrade process does while B runs; not part of the guides.
upgrade_b()
{
    rm -rf /app/*
    cp -a "$DATA/app-b-2/." /app/
    sync
    lab_header set 12 202 && bootinfo set upgrade 12 finish >/dev/null
    check "the upgrade of B is recorded as finished" equal "$(record_slot 12 upgrade)" finish "upgrade status of app_b"
}

check_upgrade_reached_a()
{
    check "/app is system B's application partition" mounted_from /app 2
    check "/app holds B's upgraded files" files_match /app "$DATA/app-b-2.manifest"
    check "application A was rebuilt from the backup image" ran_command '^ubiformat /dev/mtd11 -f /backup/app.ubifs -y$'
    check "application B was not formatted" no_command '^ubiformat /dev/mtd12 '
    check "application A holds B's upgraded files" volume_files_match 11 1 "$DATA/app-b-2.manifest"
    check "application A's header is B's new one, with A's name and index" header_copied 12 11 app_a
    check "both upgrade statuses are none again" equal "$(record_slot 11 upgrade)/$(record_slot 12 upgrade)" none/none \
        "upgrade status of app_a/app_b"
    check "the record still boots system B" equal "$(record_boot)" B "boot system"
}
