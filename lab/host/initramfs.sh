# shellcheck shell=bash
# The guest's root file system: busybox, dash as /bin/sh (it looks commands up
# in PATH, where busybox's shell would run its own applets and bypass the lab's
# command wrappers), kmod, mtd-utils, the project's deliverables with their
# shared libraries, the kernel modules the board needs and the lab's scripts.

GUEST_TOOLS="/usr/bin/dash /usr/bin/kmod
    /usr/sbin/ubiattach /usr/sbin/ubidetach /usr/sbin/ubiformat /usr/sbin/ubinfo /usr/sbin/mtdinfo
    /usr/sbin/flash_erase /usr/sbin/nandwrite /usr/sbin/nanddump $AUDIO_TOOLS"
GUEST_MODULES="nandsim ubi ubifs zstd virtio_pci virtio_blk $AUDIO_MODULES"

# Copy the shared libraries an ELF file needs, at the paths ldd names.
copy_libraries()
{
    local root=$1 elf=$2 lib
    for lib in $(ldd "$elf" 2>/dev/null | awk '/=> \// {print $3} /^\t\/.*ld-linux/ {print $1}'); do
        [ -e "$root$lib" ] && continue
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
}

is_elf()
{
    [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]
}

install_tools()
{
    local root=$1 tool
    for tool in $GUEST_TOOLS; do
        mkdir -p "$root$(dirname "$tool")"
        cp -L "$tool" "$root$tool"
    done
    ln -s /usr/bin/dash "$root/bin/sh"
    for tool in modprobe insmod rmmod lsmod depmod; do
        ln -s ../bin/kmod "$root/usr/sbin/$tool"
    done
    # busybox applets for everything not provided above.
    cp /bin/busybox "$root/bin/busybox"
    for tool in $(/bin/busybox --list); do
        [ -e "$root/bin/$tool" ] || [ -e "$root/usr/sbin/$tool" ] || [ -e "$root/usr/bin/$tool" ] ||
            ln -s busybox "$root/bin/$tool"
    done
}

install_modules()
{
    local root=$1 module ko
    for module in $GUEST_MODULES; do
        modprobe -d "$KROOT" -S "$KVER" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
    done | sort -u | while read -r ko; do
        mkdir -p "$root$(dirname "${ko#"$KROOT"}")"
        cp "$ko" "$root${ko#"$KROOT"}"
    done
    cp "$KROOT"/lib/modules/"$KVER"/modules.{order,builtin,builtin.modinfo} "$root/lib/modules/$KVER/"
    depmod -b "$root" "$KVER"
}

install_lab_scripts()
{
    local root=$1 data=$2 cmd
    mkdir -p "$root/lab/trace"
    cp "$LAB_DIR/board.conf" "$root/lab/"
    cp -r "$LAB_DIR/guest/lib" "$LAB_DIR/guest/scenarios" "$LAB_DIR/guest/bin" "$root/lab/"
    cp "$LAB_DIR/guest/init" "$root/init"
    cp -r "$data" "$root/lab/data"
    # Every command the guides run resolves to the tracing wrapper first.
    for cmd in mkdir rm cp sync mount umount ubiattach ubidetach ubiformat reboot; do
        ln -s ../bin/trace "$root/lab/trace/$cmd"
    done
}

build_initramfs()
{
    local out=$1 stage=$2 data=$3 backup=$4 root elf
    step "packing the initramfs"
    root=$LAB_RUN/initramfs-root
    rm -rf "$root"
    mkdir -p "$root"/{bin,sbin,usr/bin,usr/sbin,proc,sys,dev,tmp,run,mnt,lib/modules/"$KVER"}
    install_tools "$root"
    cp -a "$stage"/. "$root"/
    cp -r "$backup" "$root/backup"
    install_pwm_lab "$root"
    install_modules "$root"
    install_lab_scripts "$root" "$data"
    for elf in $GUEST_TOOLS $(find "$stage" -type f); do
        is_elf "$elf" && copy_libraries "$root" "$elf"
    done
    (cd "$root" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet --reproducible) >"$out"
}
