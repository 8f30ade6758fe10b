# shellcheck shell=dash
# What this power-on is about, from the kernel command line (lab.NAME=VALUE).
# shellcheck disable=SC2034 # (the whole file) its variables are read by the other files of the guest
# shellcheck source=../../board.conf
. /lab/board.conf

lab_arg()
{
    tr ' ' '\n' </proc/cmdline | sed -n "s/^lab\.$1=//p"
}

SCENARIO=$(lab_arg scenario)
BOOT=$(lab_arg boot)
FACTORY=$(lab_arg factory)
CUT=$(lab_arg cut)
BADBLOCKS=$(lab_arg badblocks)
WEAKBLOCKS=$(lab_arg weakblocks)
CUT_AT=$(lab_arg cutat)
TRACE_DIR=/lab/trace
LAB_STATE=/run/lab
mkdir -p "$LAB_STATE"
