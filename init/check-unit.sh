#!/bin/sh
# systemd-analyze verify on the unit, in a scratch root holding the unit and
# the two guides where they are installed (systemd-analyze also checks that
# ExecStart names programs). Exits 77 (skipped) without systemd-analyze.
#   check-unit.sh UNIT WORK_DIR UNIT_DIR SBIN_DIR BOOTWARD CFGWARD
set -eu
unit_in=$1
work=$2
unitdir=$3
sbindir=$4
analyze=$(command -v systemd-analyze) ||
    { echo "SKIPPED: systemd-analyze is not installed (package systemd)"; exit 77; }

rm -rf "$work"
mkdir -p "$work$unitdir" "$work$sbindir"
cp "$unit_in" "$work$unitdir/"
cp "$5" "$work$sbindir/bootward"
cp "$6" "$work$sbindir/cfgward"
unit=$work$unitdir/$(basename "$unit_in")
{ grep -qx "ExecStart=-$sbindir/bootward" "$unit" && grep -qx "ExecStart=$sbindir/cfgward" "$unit"; } ||
    { echo "FAIL: the unit does not start $sbindir/bootward and then $sbindir/cfgward"; exit 1; }
# Warnings fail the check too: the unit must be clean.
if ! "$analyze" --root="$work" verify "$unit" >"$work.log" 2>&1 || [ -s "$work.log" ]; then
    cat "$work.log"
    echo "FAIL: systemd-analyze verify $(basename "$unit")"
    exit 1
fi
echo "PASS: systemd-analyze verify $(basename "$unit")"
