# shellcheck shell=dash
# A fresh board, as the factory would leave it: recognisable raw images in the
# boot-chain and kernel partitions, both application and both configuration
# partitions formatted from the backup images and then given their own files,
# and the first boot-information record (system A) stored by the upgrade service.

DATA=/lab/data

write_raw_images()
{
    local part name
    for part in $(raw_parts); do
        name=$(part_name "$part")
        nandwrite -q -p /dev/mtd"$part" "$DATA/raw/$name.bin" || return 1
    done
}

# format_ubi_part MTD UBI-DEVICE IMAGE TREE
format_ubi_part()
{
    local mtd=$1 dev=$2 image=$3 tree=$4
    ubiformat -q /dev/mtd"$mtd" -f "$image" -y &&
        ubiattach /dev/ubi_ctrl -m "$mtd" -d "$dev" >/dev/null &&
        mount -t ubifs ubi"$dev"_0 /mnt || return 1
    # shellcheck disable=SC2115 # a fixed path: no variable to come out empty
    rm -rf /mnt/*
    cp -a "$tree"/. /mnt/
    umount /mnt && ubidetach -d "$dev" /dev/ubi_ctrl >/dev/null
}

# The images' headers, as the upgrade process wrote them: a different version
# in every slot, so a header copied onto its twin shows.
write_image_headers()
{
    local slot
    for slot in 1 2 3 4 9 10 11 12; do
        lab_header set $slot $((100 + slot)) || return 1
    done
}

provision_board()
{
    write_raw_images &&
        format_ubi_part 11 1 /backup/app.ubifs $DATA/app-a &&
        format_ubi_part 12 2 /backup/app.ubifs $DATA/app-b &&
        format_ubi_part 7 3 /backup/parameter.ubifs $DATA/cfg-a &&
        format_ubi_part 8 4 /backup/parameter.ubifs $DATA/cfg-b &&
        record_init && write_image_headers
}
