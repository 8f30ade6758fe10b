# shellcheck shell=bash
# One power-on of the virtual board: a qemu VM (TCG) on Debian's kernel with the
# lab's initramfs. The NAND lives on the virtio state disk between VMs; the
# guest's console goes to the boot's serial log, its check results and story
# lines to a second serial port of their own.

LAB_VM_TIMEOUT=${LAB_VM_TIMEOUT:-300}
# More qemu options for the next power-ons (the PWM scenarios' ACPI tables).
LAB_QEMU_ARGS=()
# For benchmarks: with -icount shift=0 the guest's clock advances one
# nanosecond per instruction executed (sleep=off: idle time is skipped), so
# times measured in the guest are instruction counts, user and kernel.
# shellcheck disable=SC2034,SC2054 # for the scenarios that count; the commas are qemu's
LAB_ICOUNT=(-icount shift=0,sleep=off)

# The kernel arguments of every power-on, both boards. cryptomgr.notests: the
# kernel's self-tests of its crypto algorithms (at boot, and again for each
# compressor UBIFS loads) take 1.5 to 2 s of every power-on under the emulator
# and test nothing of the board's; crypto_kdf108_init is one more such
# self-test (0.26 s), which that switch does not cover.
# shellcheck disable=SC2034 # read by lab/host/arm.sh too
LAB_KERNEL_ARGS="loglevel=4 panic=-1 cryptomgr.notests=1 initcall_blacklist=crypto_kdf108_init"

new_state_disk()
{
    rm -f "$1"
    truncate -s 129M "$1"
}

# boot_vm LOG RESULTS STATE KERNEL-ARGS...: returns qemu's (or timeout's) status.
# no_timer_check: on a loaded host, TCG can be too slow for the kernel's early
# check of the IO-APIC timer, which then panics ("IO-APIC + timer doesn't work").
boot_vm()
{
    local log=$1 results=$2 state=$3
    shift 3
    rm -f "$log" "$results"
    timeout "$LAB_VM_TIMEOUT" qemu-system-x86_64 -machine q35 -accel tcg -cpu max -m 512 -smp "$LAB_VM_CPUS" \
        -kernel "$KROOT/boot/vmlinuz-$KVER" -initrd "$LAB_INITRAMFS" \
        -append "console=ttyS0 $LAB_KERNEL_ARGS no_timer_check $*" \
        -drive file="$state",format=raw,if=virtio ${LAB_QEMU_ARGS[@]+"${LAB_QEMU_ARGS[@]}"} \
        -display none -monitor none -serial file:"$log" -serial file:"$results" -no-reboot \
        </dev/null >>"$log.qemu" 2>&1
}
