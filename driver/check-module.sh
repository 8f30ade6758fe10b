#!/bin/sh
# Builds dimmerdev with kbuild in a copy of its folder (so that no build output
# lands in the source tree), fails on any warning (W=1), and checks what
# modinfo reports. Exits 77, which ctest reports as skipped, when no kernel
# headers are installed.
#   check-module.sh SOURCE_DIR WORK_DIR      (KDIR=... overrides the headers)
set -eu
src=$1
work=$2

kdir=${KDIR:-$("$src/find-kdir.sh")}
if [ -z "$kdir" ]; then
    echo "SKIPPED: no kernel headers to build dimmerdev against;" \
        "install linux-headers-amd64 (scripts/setup) or set KDIR"
    exit 77
fi
modinfo=$(command -v modinfo || echo /sbin/modinfo)
[ -x "$modinfo" ] || { echo "FAIL: modinfo not found (package kmod)"; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cp "$src/dimmerdev.c" "$src/pwm_ioctl.h" "$src/Kbuild" "$work/"

log=$work/build.log
echo "building against $kdir"
if ! make -C "$kdir" M="$work" W=1 KCFLAGS=-Werror modules >"$log" 2>&1; then
    cat "$log"
    echo "FAIL: the module does not build"
    exit 1
fi
if grep -i 'warning' "$log"; then
    echo "FAIL: the build gave warnings"
    exit 1
fi

ko=$work/dimmerdev.ko
fails=0
expect() {
    if ! "$modinfo" -F "$1" "$ko" | grep -qxF -- "$2"; then
        echo "FAIL: modinfo field $1 lacks \"$2\""
        fails=1
    fi
}
expect name dimmerdev
expect description "PWM ioctl control driver"
expect license GPL
expect alias "of:N*T*Cvendor,pwm-ioctl"
expect alias "of:N*T*Cvendor,pwm-ioctlC*"
if [ -n "$("$modinfo" -F depends "$ko")" ]; then
    echo "FAIL: the module depends on other modules"
    fails=1
fi
[ "$fails" -eq 0 ] || { "$modinfo" "$ko"; exit 1; }
"$modinfo" "$ko"
echo "dimmerdev builds warning-free and carries its module information"
