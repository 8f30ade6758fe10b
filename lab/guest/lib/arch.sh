# shellcheck shell=dash
# The ARM board (qemu's virt machine) has a single UART, the console: its
# results port is a virtio console, /dev/hvc0, there once its module is loaded.
# The state disk's module comes in the same modprobe (one process fewer).
if [ "$(lab_arg results)" = hvc0 ] && [ ! -c /dev/hvc0 ]; then
    modprobe -a virtio_pci virtio_console virtio_blk
    wait_node -c /dev/hvc0
fi
