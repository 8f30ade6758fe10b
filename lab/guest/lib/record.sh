# shellcheck shell=dash
# The boot-information record, read and written through the bootinfo tool,
# which goes through the upgrade service (libbsp_upgrade.so); image headers
# through the lab's own lab_header.

# The first record of a fresh board: system A. The store is blank, so the
# service hands out its default record and the change is stored with --force.
record_init()
{
    bootinfo set boot A --force >/dev/null
}

record_json()
{
    bootinfo --json 2>/dev/null
}

# A or B
record_boot()
{
    record_json | sed -n 's/^  "boot": "\(.*\)",$/\1/p'
}

# record_slot SLOT upgrade|data: e.g. "none", "finish", "ok", "wrong".
record_slot()
{
    record_json | grep "\"slot\": $1," | sed "s/.*\"$2\": \"\([^\"]*\)\".*/\1/"
}

# MTD number of the running system's application partition.
running_app_part()
{
    if [ "$(record_boot)" = B ]; then echo 12; else echo 11; fi
}

# The record as a person reads it, for stories and logs.
record_summary()
{
    local json
    json=$(record_json)
    echo "$json" | sed -n 's/^  "boot": "\(.*\)",$/boot \1:/p' | tr '\n' ' '
    echo "$json" | grep -E '"slot": (7|8|9|10|11|12),' |
        sed 's/.*"name": "\([^"]*\)", "upgrade": "\([^"]*\)".*"data": "\([^"]*\)".*/\1 \2\/\3/' | tr '\n' ' '
    echo
}
