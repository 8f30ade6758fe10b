# shellcheck shell=dash
# A configuration upgrade finished on side A (new files, upgrade marked
# finished) before this boot: cfgward rebuilds B from A's files.

before_boot()
{
    attach_readwrite 7 3 /mnt || return
    # shellcheck disable=SC2115 # a fixed path: no variable to come out empty
    rm -rf /mnt/*
    cp -a "$DATA/cfg-a-2/." /mnt/
    umount /mnt
    ubidetach -d 3 /dev/ubi_ctrl >/dev/null
    bootinfo set upgrade parameter_a finish >/dev/null
}

attach_readwrite()
{
    ubiattach /dev/ubi_ctrl -m "$1" -d "$2" >/dev/null && mount -t ubifs ubi"$2"_0 "$3"
}

after_boot()
{
    check_running_app_kept
    check "cfgward exits 0" equal "$CFGWARD_STATUS" 0 "exit status"
    check "configuration B was rebuilt from the backup image" \
        ran_command '^ubiformat /dev/mtd8 -f /backup/parameter.ubifs -y$'
    check "configuration A was not formatted" no_command '^ubiformat /dev/mtd7 '
    check "/parameter0 holds A's upgraded files" files_match /parameter0 "$DATA/cfg-a-2.manifest"
    check "/parameter1 holds A's upgraded files" files_match /parameter1 "$DATA/cfg-a-2.manifest"
    check "A's upgrade status is none again" equal "$(record_slot 7 upgrade)/$(record_slot 8 upgrade)" none/none \
        "upgrade status of parameter_a/parameter_b"
    check "both are marked good" equal "$(record_slot 7 data)/$(record_slot 8 data)" ok/ok \
        "data status of parameter_a/parameter_b"
}
