# shellcheck shell=dash
# A normal boot of a fresh board: everything mounts, nothing is repaired, the
# record stays as it was.

before_boot()
{
    record_json >/tmp/record.before
}

after_boot()
{
    check "bootward and cfgward exit 0" equal "$BOOTWARD_STATUS/$CFGWARD_STATUS" 0/0 "exit statuses"
    check "/app is system A's application partition" mounted_from /app 1
    check "/parameter0 is configuration A" mounted_from /parameter0 3
    check "/parameter1 is configuration B" mounted_from /parameter1 4
    check "/app holds system A's files" files_match /app "$DATA/app-a.manifest"
    check "/parameter0 holds configuration A's files" files_match /parameter0 "$DATA/cfg-a.manifest"
    check "/parameter1 holds configuration B's files" files_match /parameter1 "$DATA/cfg-b.manifest"
    check "nothing formatted" no_command '^ubiformat'
    check "the record is unchanged" same_record /tmp/record.before
    check_running_app_kept
    figure_guides_against_script
}
