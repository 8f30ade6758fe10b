#!/bin/sh
# Builds dimmerdev with kbuild against every set of kernel headers on this
# machine (find-kdir.sh --all), or against KDIR alone, each in a copy of its
# folder (so that no build output lands in the source tree); fails on any
# warning (W=1) and checks what modinfo reports. Exits 77, which ctest reports
# as skipped, when there are no kernel headers at all.
#   check-module.sh SOURCE_DIR WORK_DIR      (KDIR=... builds against that one)
set -eu
src=$1
work=$2

if [ -n "${KDIR:-}" ]; then
    kdirs=$KDIR
else
    kdirs=$("$src/find-kdir.sh" --all)
fi
if [ -z "$kdirs" ]; then
    echo "SKIPPED: no kernel headers to build dimmerdev against;" \
        "install linux-headers-amd64 (scripts/setup) or set KDIR"
    exit 77
fi
modinfo=$(command -v modinfo || echo /sbin/modinfo)
[ -x "$modinfo" ] || { echo "FAIL: modinfo not found (package kmod)"; exit 1; }

echo "kernel headers found:"
for kdir in $kdirs; do
    echo "  $kdir"
done

rm -rf "$work"
failed=""

# The release the headers are for, as vermagic starts.
release_of()
{
    sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$1/include/generated/utsrelease.h" 2>/dev/null
}

# ARM headers build with the cross compiler (scripts/kernel-headers gives
# their kbuild a modpost that runs the ARM one under qemu-arm).
arch_args()
{
    if grep -qx 'CONFIG_ARM=y' "$1/.config"; then
        echo "ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf- DEB_HOST_ARCH=armhf DEB_HOST_GNU_TYPE=arm-linux-gnueabihf"
    fi
}

check_one()
{
    kdir=$1
    release=$(release_of "$kdir")
    dir=$work/${release:-$(basename "$kdir")}
    log=$dir/build.log
    mkdir -p "$dir"
    cp "$src/dimmerdev.c" "$src/pwm_ioctl.h" "$src/Kbuild" "$dir/"
    echo "=== $release ($kdir)"
    # shellcheck disable=SC2046
    if ! make -C "$kdir" M="$dir" W=1 KCFLAGS=-Werror $(arch_args "$kdir") modules >"$log" 2>&1; then
        cat "$log"
        echo "FAIL $release: the module does not build"
        return 1
    fi
    if grep -i 'warning' "$log"; then
        echo "FAIL $release: the build gave warnings"
        return 1
    fi

    ko=$dir/dimmerdev.ko
    fails=0
    expect() {
        if ! "$modinfo" -F "$1" "$ko" | grep -qxF -- "$2"; then
            echo "FAIL $release: modinfo field $1 lacks \"$2\""
            fails=1
        fi
    }
    # modpost writes the name field only on newer kernels (4.9's does not):
    # expect it exactly when this kernel's modpost put it into dimmerdev.mod.c.
    if grep -q 'MODULE_INFO(name, KBUILD_MODNAME)' "$dir/dimmerdev.mod.c"; then
        expect name dimmerdev
    elif [ -n "$("$modinfo" -F name "$ko")" ]; then
        echo "FAIL $release: a name field that modpost did not write"
        fails=1
    fi
    expect description "PWM ioctl control driver"
    expect license GPL
    expect alias "of:N*T*Cvendor,pwm-ioctl"
    expect alias "of:N*T*Cvendor,pwm-ioctlC*"
    case $("$modinfo" -F vermagic "$ko") in
    "$release "*) ;;
    *)
        echo "FAIL $release: vermagic is not this kernel's: $("$modinfo" -F vermagic "$ko")"
        fails=1
        ;;
    esac
    if [ -n "$("$modinfo" -F depends "$ko")" ]; then
        echo "FAIL $release: the module depends on other modules"
        fails=1
    fi
    if [ "$fails" -ne 0 ]; then
        "$modinfo" "$ko"
        return 1
    fi
    echo "PASS $release: builds warning-free, $("$modinfo" -F vermagic "$ko")"
}

for kdir in $kdirs; do
    check_one "$kdir" || failed="$failed $kdir"
done
if [ -n "$failed" ]; then
    echo "dimmerdev failed against:$failed"
    exit 1
fi
echo "dimmerdev builds warning-free and carries its module information against every kernel found"
