# shellcheck shell=bash
# The PWM part of the lab: dimmerdev and the lab's own PWM controller (labpwm)
# built against the headers of exactly the kernel the board boots, the ACPI
# tables (SSDT) that describe the controller and its consumer nodes, and the
# PWM scenarios, one power-on each.

PWM_OUT=$LAB_RUN/pwm

# The PWM scenarios; the benchmark runs only when named.
list_pwm_scenarios()
{
    cat <<LIST
pwm-bind         PWM: dimmerdev autoloads for its node, every command through pwmctl and raw ioctls (1 boot)
pwm-defer        PWM: the consumer loaded before the controller binds once the controller appears (1 boot)
pwm-stress       PWM: 4 processes issuing mixed commands for ${PWM_STRESS_SECONDS:-30} s (1 boot)
pwm-unbind       PWM: unbind with a file open under slub_debug, bind again, unload (1 boot)
pwm-twin         PWM: a second matching node fails cleanly and leaves nothing behind (1 boot)
pwm-bench        [on-demand] PWM: benchmark, one SET_CONFIG + ENABLE against the sysfs writes (2 boots)
LIST
}

# Modules for a kernel load only into that exact version: the headers must be
# those of the image kernel.sh resolved.
pwm_kernel_headers()
{
    local kdir=/usr/src/linux-headers-$KVER meta
    if [ ! -f "$kdir/Makefile" ]; then
        meta=$(apt-cache depends linux-headers-amd64 2>/dev/null | awk '/Depends: linux-headers-[0-9]/ {print $2; exit}')
        die "the board boots $KVER (linux-image-amd64) but $kdir is missing;" \
            "linux-headers-amd64 points at ${meta:-nothing}: run apt-get update and scripts/setup" \
            "(or apt-get install linux-headers-$KVER)"
    fi
    echo "$kdir"
}

# build_module NAME SOURCE-FILES...: kbuild in a copy, so the tree stays clean.
build_module()
{
    local name=$1 kdir=$2 dir=$PWM_OUT/$1
    shift 2
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$@" "$dir/"
    echo "obj-m := $name.o" >"$dir/Kbuild"
    make -C "$kdir" M="$dir" W=1 ${LAB_KBUILD_ARGS[@]+"${LAB_KBUILD_ARGS[@]}"} modules >"$dir/build.log" 2>&1 ||
        { tail -30 "$dir/build.log"; die "building $name.ko against $kdir failed"; }
}

# The ioctl checker for i386 as well, static (no 32-bit libraries in the
# guest): a 32-bit program on the board's 64-bit kernel.
build_checker_32bit()
{
    local out=$PWM_OUT/pwm_ioctl_check32 pwm=$LAB_DIR/pwm
    # The kernel's x86 user headers (asm/) serve i386 and x86_64 alike; Debian keeps
    # them in the amd64 multiarch folder only.
    ${CC:-cc} -m32 -static -std=gnu11 -O2 -Wall -Wextra -I"$LAB_TOP/driver" -I"$pwm" \
        -idirafter "/usr/include/$(${CC:-cc} -print-multiarch)" -o "$out" \
        "$pwm/pwm_ioctl_check.c" "$pwm/pwm_stress.c" "$pwm/check.c" "$pwm/labpwm_log.c" >"$out.log" 2>&1 ||
        { cat "$out.log"; die "the 32-bit pwm_ioctl_check does not build (gcc -m32 needs libc6-dev-i386 and" \
            "lib32gcc-12-dev: run scripts/setup)"; }
}

compile_table()
{
    local asl=$1 out
    out=$PWM_OUT/$(basename "$1" .asl)
    iasl -p "$out" "$asl" >"$out.log" 2>&1 || { cat "$out.log"; die "iasl $asl failed"; }
}

build_pwm_lab()
{
    local kdir
    step "building dimmerdev.ko and labpwm.ko for $KVER, the ACPI tables"
    command -v iasl >/dev/null || die "iasl is missing (package acpica-tools): run scripts/setup"
    kdir=$(pwm_kernel_headers)
    mkdir -p "$PWM_OUT"
    build_module dimmerdev "$kdir" "$LAB_TOP/driver/dimmerdev.c" "$LAB_TOP/driver/pwm_ioctl.h"
    build_module labpwm "$kdir" "$LAB_DIR/pwm/labpwm.c"
    build_checker_32bit
    compile_table "$LAB_DIR/pwm/board.asl"
    compile_table "$LAB_DIR/pwm/board-twin.asl"
}

# The modules in the kernel's module tree (the initramfs's depmod indexes them),
# the check programs, and mdev's rule that loads a module for every uevent
# carrying a MODALIAS, with kmod's modprobe as udev would.
install_pwm_lab()
{
    local root=$1 extra=$1/lib/modules/$KVER/extra prog
    mkdir -p "$extra" "$root/etc"
    cp "$PWM_OUT/dimmerdev/dimmerdev.ko" "$PWM_OUT/labpwm/labpwm.ko" "$extra/"
    for prog in pwm_ioctl_check pwm_bench; do
        install -D -t "$root/usr/bin" "$LAB_BUILD/bin/$prog"
        copy_libraries "$root" "$LAB_BUILD/bin/$prog"
    done
    # Built for the x86_64 board only (compat_ioctl); the ARM kernel is 32-bit.
    [ "$LAB_ARCH" = x86_64 ] && install -D -t "$root/usr/bin" "$PWM_OUT/pwm_ioctl_check32"
    # shellcheck disable=SC2016
    echo '$MODALIAS=.* 0:0 0660 @/usr/sbin/modprobe -b "$MODALIAS"' >"$root/etc/mdev.conf"
}

# qemu's options for the board described by TABLE (board, board-twin).
pwm_table_args()
{
    echo "-acpitable"
    echo "file=$PWM_OUT/$1.aml"
}

# pwm_power_on SCENARIO TABLE [kernel args...]: one power-on with the SSDT given.
pwm_power_on()
{
    new_run "$1"
    pwm_boot "$1" "$2" 1 "${@:3}"
}

# pwm_boot SCENARIO TABLE BOOT [kernel args...]: power-on number BOOT of a run,
# with the SSDT given and the qemu options in PWM_QEMU_MORE.
pwm_boot()
{
    local scenario=$1 table=$2 boot=$3
    shift 3
    mapfile -t LAB_QEMU_ARGS < <(pwm_table_args "$table")
    LAB_QEMU_ARGS+=(${PWM_QEMU_MORE[@]+"${PWM_QEMU_MORE[@]}"})
    power_on "$scenario" "$boot" "$@"
    LAB_QEMU_ARGS=()
    expect_state "done" "$boot"
}

scenario_pwm_bind()
{
    pwm_power_on pwm-bind board
}

scenario_pwm_defer()
{
    pwm_power_on pwm-defer board
}

# Two CPUs, so that commands of different processes really run at once.
scenario_pwm_stress()
{
    # shellcheck disable=SC2034 # boot_vm's, for this scenario's power-ons
    local LAB_VM_CPUS=2
    pwm_power_on pwm-stress board "lab.seconds=${PWM_STRESS_SECONDS:-30}"
}

# Poisoning, red zones and sanity checks on every slab: a use after free of
# the driver's record shows as "Poison overwritten" or a BUG.
scenario_pwm_unbind()
{
    pwm_power_on pwm-unbind board slub_debug=FZPU
}

scenario_pwm_twin()
{
    pwm_power_on pwm-twin board-twin slub_debug=FZPU
}

# Twice: timed by the emulator's clock (TCG, where entering the kernel costs
# more against other work than on a real CPU), then with instructions counted.
scenario_pwm_bench()
{
    local count="lab.count=${PWM_BENCH_COUNT:-20000}"
    pwm_power_on pwm-bench board "$count"
    local PWM_QEMU_MORE=("${LAB_ICOUNT[@]}")
    pwm_boot pwm-bench board 2 "$count" lab.clock=instructions
}
