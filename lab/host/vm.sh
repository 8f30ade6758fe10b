# One power-on of the virtual board: a qemu VM (TCG) on Debian's kernel with the
# lab's initramfs. The NAND lives on the virtio state disk between VMs; the
# guest's console goes to the boot's serial log, its check results and story
# lines to a second serial port of their own.

LAB_VM_TIMEOUT=${LAB_VM_TIMEOUT:-300}

new_state_disk()
{
    rm -f "$1"
    truncate -s 129M "$1"
}

# boot_vm LOG RESULTS STATE KERNEL-ARGS...: returns qemu's (or timeout's) status.
boot_vm()
{
    local log=$1 results=$2 state=$3
    shift 3
    rm -f "$log" "$results"
    timeout "$LAB_VM_TIMEOUT" qemu-system-x86_64 -machine q35 -accel tcg -cpu max -m 512 -smp "$LAB_VM_CPUS" \
        -kernel "$KROOT/boot/vmlinuz-$KVER" -initrd "$LAB_INITRAMFS" \
        -append "console=ttyS0 loglevel=4 panic=-1 $*" \
        -drive file="$state",format=raw,if=virtio \
        -display none -monitor none -serial file:"$log" -serial file:"$results" -no-reboot \
        </dev/null >>"$log.qemu" 2>&1
}
