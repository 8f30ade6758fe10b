# shellcheck shell=dash
# Predicates for the scenarios' checks: silent when true, otherwise they say why.

# mounted_from DIR UBI-DEVICE
mounted_from()
{
    local dev
    dev=$(awk -v d="$1" '$2 == d && $3 == "ubifs" {print $1}' /proc/mounts)
    [ -n "$dev" ] || { echo "$1 is not mounted"; return 1; }
    [ "$dev" = "ubi$2_0" ] || { echo "$1 is mounted from $dev, not ubi$2_0"; return 1; }
}

manifest_of()
{
    (cd "$1" && find . -type f | LC_ALL=C sort | xargs -r md5sum)
}

# files_match DIR MANIFEST: the same files with the same contents.
files_match()
{
    [ -d "$1" ] || { echo "$1 does not exist"; return 1; }
    manifest_of "$1" >/tmp/manifest.now
    cmp -s "$2" /tmp/manifest.now && return 0
    echo "$1 differs from $(basename "$2" .manifest):" \
        "$(diff "$2" /tmp/manifest.now | grep '^[-+][^-+]' | head -5 | tr '\n' ' ')"
    return 1
}

# lines_missing WANTED HAVE: the lines of file WANTED that file HAVE lacks.
lines_missing()
{
    local status=0
    grep -vxF -f "$2" "$1" || status=$?
    [ $status -le 1 ]
}

# files_kept DIR MANIFEST: every file of the manifest is there, unchanged
# (others may have been added).
files_kept()
{
    local missing
    [ -d "$1" ] || { echo "$1 does not exist"; return 1; }
    manifest_of "$1" >/tmp/manifest.now
    missing=$(lines_missing "$2" /tmp/manifest.now) || { echo "cannot compare"; return 1; }
    missing=$(echo "$missing" | awk 'NF {print $2}' | head -5 | tr '\n' ' ')
    [ -z "$missing" ] || { echo "lost or changed under $1: $missing"; return 1; }
}

# no_command PATTERN: no command line of the guides in this boot matches.
no_command()
{
    local hits
    hits=$(guide_commands | grep -E "$1" | head -3 | tr '\n' ';')
    [ -z "$hits" ] || { echo "ran: $hits"; return 1; }
}

# ran_command PATTERN: some command line of the guides in this boot matches.
ran_command()
{
    guide_commands | grep -qE "$1" || { echo "no command matching '$1' ran"; return 1; }
}

equal()
{
    [ "$1" = "$2" ] || { echo "${3:-value} is '$1', expected '$2'"; return 1; }
}

# The UBI volume of a partition that the running system has not mounted,
# read-only on a mount point of the lab's own: attach_readonly MTD UBI-DEVICE DIR.
attach_readonly()
{
    ubiattach /dev/ubi_ctrl -m "$1" -d "$2" >/dev/null 2>&1 && mkdir -p "$3" &&
        mount -t ubifs -o ro ubi"$2"_0 "$3"
}

detach_readonly()
{
    umount "$2" 2>/dev/null
    ubidetach -d "$1" /dev/ubi_ctrl >/dev/null 2>&1
}

# Raw content of a partition as read through MTD, bad blocks skipped.
raw_dump()
{
    nanddump -q --bb=skipbad -f "$2" /dev/mtd"$1"
}

# same_record FILE: the record reads as it did when FILE was written.
same_record()
{
    local diffs
    diffs=$(record_json | diff "$1" - | grep '^[-+] ' | head -4 | tr -s ' ' | tr '\n' ';')
    [ -z "$diffs" ] || { echo "changed: $diffs"; return 1; }
}

# volume_files_match MTD UBI-DEVICE MANIFEST: the files of a partition the
# running system has not mounted, read through a read-only mount.
volume_files_match()
{
    local dir=/tmp/volume$2 ret
    if ! attach_readonly "$1" "$2" "$dir"; then
        detach_readonly "$2" "$dir"
        echo "mtd$1 does not attach and mount"
        return 1
    fi
    files_match "$dir" "$3"
    ret=$?
    detach_readonly "$2" "$dir"
    return $ret
}

# header_copied SRC DST DST-NAME: the record's image header of slot DST is
# slot SRC's, but for the name and slot index, which are DST's own.
header_copied()
{
    local src dst
    { src=$(lab_header show "$1") && dst=$(lab_header show "$2"); } || { echo "the record cannot be read"; return 1; }
    [ "${dst%% rest=*}" = "name=$3 type=$2" ] || { echo "slot $2 has ${dst%% rest=*}"; return 1; }
    [ "${dst#* rest=}" = "${src#* rest=}" ] || { echo "slot $2's header is not slot $1's"; return 1; }
}

# count_commands REGEX: how many command lines of this boot match.
count_commands()
{
    guide_commands | grep -cE "$1"
}
