# shellcheck shell=bash
# The board's architecture: arm, the device's own and the default (Debian's
# armmp kernel on qemu's virt machine, the PWM nodes in the device tree, the
# project's ARM cross build), or x86_64 (Debian's amd64 kernel, the PWM nodes
# in an ACPI table, the x86_64 build). LAB_ARCH comes from the environment;
# lab/run calls arch_select with the value of --arch, if any, once the host
# scripts are read: the ARM layer then takes the place of the parts that
# differ (lab/host/arm.sh).

LAB_ARCH=${LAB_ARCH:-arm}
# More options for the project's cmake configuration (the ARM toolchain file),
# read by lab/host/build.sh.
# shellcheck disable=SC2034
LAB_CMAKE_ARCH=()
# More make options for the lab's kernel modules (ARCH, CROSS_COMPILE), read by
# lab/host/pwm.sh.
# shellcheck disable=SC2034
LAB_KBUILD_ARGS=()

# What the board's `uname -m` says.
board_machine()
{
    case $LAB_ARCH in
    arm) echo armv7l ;;
    *) echo x86_64 ;;
    esac
}

# arch_select [ARCH]: ARCH, else LAB_ARCH, is the board's.
arch_select()
{
    LAB_ARCH=${1:-$LAB_ARCH}
    case $LAB_ARCH in
    x86_64) ;;
    arm) arm_select ;;
    *) die "unknown architecture $LAB_ARCH (arm or x86_64)" ;;
    esac
}

# The first line of every run: the board the scenarios run on. The factory's
# power-on confirms it from the guest's own uname (check_board).
announce_board()
{
    echo "board: $(board_machine) $KVER"
}

# check_board RESULTS: the line "BOARD machine release" the guest reported.
check_board()
{
    local seen
    seen=$(sed -n 's/^BOARD \(.*\)\r*$/\1/p' "$1" | tr -d '\r' | head -1)
    if [ "$seen" = "$(board_machine) $KVER" ]; then
        host_pass "the board runs $(board_machine) $KVER"
    else
        host_fail "the board runs $(board_machine) $KVER" "its uname says '${seen:-nothing}'"
    fi
}
