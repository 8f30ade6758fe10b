# shellcheck shell=dash
# What this power-on is about, from the kernel command line (lab.NAME=VALUE).
# shellcheck disable=SC2034 # (the whole file) its variables are read by the other files of the guest
# shellcheck source=../../board.conf
. /lab/board.conf

# The command line is read once: under the emulator every process of a power-on
# costs, and a pipeline per value cost 0.1 s of each.
read -r LAB_CMDLINE </proc/cmdline

# lab_arg NAME: the value of lab.NAME=VALUE on the command line, empty without one.
lab_arg()
{
    local word
    # No file names in the command line: its words are split, never globbed.
    set -f
    for word in $LAB_CMDLINE; do
        case $word in
        "lab.$1="*)
            set +f
            echo "${word#"lab.$1="}"
            return 0
            ;;
        esac
    done
    set +f
}

# wait_node TEST PATH: until the device node is there (devtmpfs makes it a
# moment after its driver is loaded), 5 s at most, in steps of 10 ms.
wait_node()
{
    local tries=0
    until test "$1" "$2"; do
        [ $tries -lt 500 ] || return 1
        sleep 0.01
        tries=$((tries + 1))
    done
}

SCENARIO=$(lab_arg scenario)
BOOT=$(lab_arg boot)
FACTORY=$(lab_arg factory)
CUT=$(lab_arg cut)
BADBLOCKS=$(lab_arg badblocks)
WEAKBLOCKS=$(lab_arg weakblocks)
CUT_AT=$(lab_arg cutat)
# How many boots this power-on may make, one after the other while none ends
# normal (lib/warm.sh); LAB_WARM is "BOOT BOOTS-LEFT CHIP" in the boots after the
# first, which the power cut, if any, was not meant for.
LAB_BOOTS=$(lab_arg boots)
if [ -n "${LAB_WARM:-}" ]; then
    BOOT=${LAB_WARM%% *}
    LAB_BOOTS=${LAB_WARM#* }
    LAB_BOOTS=${LAB_BOOTS%% *}
    CUT=
    CUT_AT=
fi
TRACE_DIR=/lab/trace
LAB_STATE=/run/lab
mkdir -p "$LAB_STATE"
