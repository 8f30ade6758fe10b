# shellcheck shell=dash
# The ARM board (qemu's virt machine) has a single UART, the console: its
# results port is a virtio console, /dev/hvc0, there once its module is loaded.
if [ "$(lab_arg results)" = hvc0 ] && [ ! -c /dev/hvc0 ]; then
    modprobe virtio_pci
    modprobe virtio_console
    tries=0
    while [ ! -c /dev/hvc0 ] && [ $tries -lt 50 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
fi
