# shellcheck shell=bash
# The board's contents, made on the host: the file trees of both systems and
# both configuration sides (each side distinguishable), the backup UBI images
# the guides format from, the raw boot-chain and kernel images, and a manifest
# (md5sum of every file) of each tree for the guest's checks.

# Random bytes, different on every lab run: the checks compare against the
# manifests made from them, never against fixed values.
random_file()
{
    mkdir -p "$(dirname "$1")"
    head -c "$2" /dev/urandom >"$1"
}

manifest_of()
{
    (cd "$1" && find . -type f | LC_ALL=C sort | xargs -r md5sum)
}

# An application tree: what the image or one system carries.
make_app_tree()
{
    local dir=$1 what=$2
    mkdir -p "$dir/etc" "$dir/bin"
    echo "$what" >"$dir/VERSION"
    random_file "$dir/bin/app" 300000
    random_file "$dir/lib/libapp.so" 120000
    printf 'name=%s\nlog=/log\n' "$what" >"$dir/etc/app.conf"
    echo "$what" >"$dir/etc/.hidden"
}

# A configuration tree; both sides hold the same configuration, each names its
# writer, so a copy from the twin or from the image is visible.
make_cfg_tree()
{
    local dir=$1 config=$2 writer=$3
    mkdir -p "$dir/users"
    printf 'serial=%s\nbrightness=70\n' "$config" >"$dir/device.conf"
    printf 'address=10.0.0.%s\n' "${#config}" >"$dir/network.conf"
    printf 'admin:%s\n' "$config" >"$dir/users/admin.conf"
    echo "$writer" >"$dir/written-by"
}

# ubiformat wants a ubinized image: one dynamic volume that grows to the partition.
make_ubi_image()
{
    local tree=$1 max_leb=$2 out=$3 name
    name=$(basename "$out" .ubifs)
    mkfs.ubifs -m "$NAND_PAGE" -e "$UBI_LEB" -c "$max_leb" -r "$tree" -o "$out.fs"
    cat >"$out.ini" <<INI
[$name]
mode=ubi
image=$out.fs
vol_id=0
vol_type=dynamic
vol_name=$name
vol_flags=autoresize
INI
    ubinize -o "$out" -m "$NAND_PAGE" -p "$NAND_PEB" -s "$NAND_SUBPAGE" -O "$UBI_VID_OFFSET" "$out.ini"
    rm -f "$out.fs" "$out.ini"
}

# Raw content of a boot-chain or kernel partition: a readable name, then random
# bytes over all but the last two erase blocks (those stay erased).
make_raw_image()
{
    local out=$1 name=$2 blocks=$3
    printf 'LAB RAW IMAGE %s\n' "$name" >"$out"
    head -c $(((blocks - 2) * NAND_PEB - 1000)) /dev/urandom >>"$out"
}

make_board_images()
{
    local data=$1 backup=$2 tree
    step "making the board's images"
    rm -rf "$data" "$backup"
    mkdir -p "$data/raw" "$backup"
    make_app_tree "$data/app-image" "application image 1.0"
    make_app_tree "$data/app-a" "system A application 1.0"
    make_app_tree "$data/app-b" "system B application 1.0"
    make_app_tree "$data/app-b-2" "system B application 2.0"
    random_file "$data/app-b-2/share/new-in-2.0.dat" 50000
    make_cfg_tree "$data/cfg-image" "factory" "image"
    make_cfg_tree "$data/cfg-a" "LAB-0001" "parameter A"
    make_cfg_tree "$data/cfg-b" "LAB-0001" "parameter B"
    make_cfg_tree "$data/cfg-a-2" "LAB-0002" "parameter A"
    echo "added by the configuration upgrade" >"$data/cfg-a-2/upgrade.conf"
    for tree in "$data"/app-* "$data"/cfg-*; do
        manifest_of "$tree" >"$tree.manifest"
    done
    make_ubi_image "$data/app-image" "$UBI_APP_MAX_LEB" "$backup/app.ubifs"
    make_ubi_image "$data/cfg-image" "$UBI_CFG_MAX_LEB" "$backup/parameter.ubifs"
    local part name
    for part in $(raw_parts); do
        name=$(part_name "$part")
        make_raw_image "$data/raw/$name.bin" "$name" "$(part_blocks "$part")"
    done
}
