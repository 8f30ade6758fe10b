# shellcheck shell=bash
# The board on ARMv7 (LAB_ARCH=arm): Debian's armhf kernel (the package
# linux-image-armmp:armhf points to) on qemu's virt machine with a Cortex-A15
# (TCG), described by a device tree: qemu's own tree of the machine plus the
# board's nodes (lab/pwm/board.dts). The guest runs the project's ARM cross
# build, installed by the project's install rules, the armhf userland from
# the archive and modules built here against Debian's armmp headers.
#
# Everything fetched lives in lab/cache/armhf/: the packages (debs/), the
# kernel with its modules (kernel-VERSION/), the kernel decompressed once
# into a uImage, the headers with a kbuild whose modpost is the armhf one run
# under qemu-arm (headers-VERSION/), and the userland (userland/).

ARM_CACHE=$LAB_CACHE/armhf
ARM_OUT=$LAB_RUN/arm
ARM_SYSROOT=/usr/arm-linux-gnueabihf
# qemu-system-arm's virt machine: without highmem=off there is no PCI (the
# kernel has no LPAE), so no virtio disk.
# shellcheck disable=SC2054 # the commas are qemu's
ARM_MACHINE=(-M virt,highmem=off -cpu cortex-a15 -m 512)
# The guest's tools and the libraries they need, from the archive (armhf
# unless a package names its architecture; libasound2-data:all is alsa-lib's
# configuration, which aplay reads, and exists for no single architecture).
# The C and C++ runtime comes from the cross toolchain, as for the project
# itself.
ARM_USERLAND_PACKAGES=(busybox-static dash kmod libkmod2 mtd-utils usbip alsa-utils libasound2 libasound2-data:all
    libzstd1 liblzma5 libssl3 libudev1 libwrap0 libnsl2 libtirpc3
    libgssapi-krb5-2 libkrb5-3 libk5crypto3 libcom-err2 libkrb5support0 libkeyutils1)

# The ARM board's settings and functions in place of the x86_64 ones: what it
# sets and defines is read and called by the other host scripts.
# shellcheck disable=SC2034,SC2317
arm_select()
{
    LAB_BUILD=$LAB_TOP/build/lab-arm
    LAB_CMAKE_ARCH=(-DCMAKE_TOOLCHAIN_FILE="$LAB_TOP/cmake/arm-linux-gnueabihf.cmake")
    # ubifs needs the deflate compressor, a module on armmp; virtio_console
    # carries the results (qemu's virt machine has a single UART).
    GUEST_MODULES="$GUEST_MODULES deflate virtio_console"
    # alsa-utils' aplay and arecord: the host side of audio-blocking.
    GUEST_TOOLS="$GUEST_TOOLS /usr/bin/aplay"
    if [ "${LAB_TIME64:-0}" = 1 ]; then
        # The armhf ABI of newer distributions: 64-bit time_t and off_t, where
        # the SYNC_PTR and status records have another layout.
        LAB_BUILD=$LAB_TOP/build/lab-arm-time64
        export CFLAGS="${CFLAGS:-} -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64"
        export CXXFLAGS="${CXXFLAGS:-} -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64"
        eval "lab_$(declare -f build_project)"
        build_project() { lab_build_project "$@" && arm_check_time64 "$@"; }
    fi
    fetch_kernel() { arm_fetch_kernel; }
    fetch_all() { arm_fetch_all; }
    copy_libraries() { arm_copy_libraries "$@"; }
    is_elf() { arm_is_elf "$@"; }
    install_tools() { arm_install_tools "$@"; }
    build_pwm_lab() { arm_build_pwm_lab; }
    pwm_table_args() { arm_table_args "$@"; }
    boot_vm() { arm_boot_vm "$@"; }
}

# With 64-bit time_t, glibc routes ioctl() to __ioctl_time64: our tinyalsa
# and its kernel checks in the guest must call that one.
arm_check_time64()
{
    local stage=$1 elf symbols
    for elf in $(find "$stage" -name 'libtinyalsa.so*' -type f) "$stage"/usr/bin/lab_alsa_kernel_check; do
        symbols=$(arm-linux-gnueabihf-nm -D "$elf" | awk '$1 == "U" {sub(/@.*/, "", $2); print $2}')
        if echo "$symbols" | grep -qx ioctl || ! echo "$symbols" | grep -qx __ioctl_time64; then
            die "$(basename "$elf") is not built with 64-bit time_t (no __ioctl_time64)"
        fi
    done
    step "the audio path is built with 64-bit time_t (__ioctl_time64)"
}

# arm_need COMMAND PACKAGE
arm_need()
{
    command -v "$1" >/dev/null || die "$1 is missing: install the package $2 (scripts/setup)"
}

arm_check_host()
{
    arm_need qemu-system-arm qemu-system-arm
    arm_need dtc device-tree-compiler
    arm_need arm-linux-gnueabihf-gcc gcc-arm-linux-gnueabihf
    arm_need qemu-arm qemu-user
    arm_need python3 python3
    arm_need xz xz-utils
}

# arm_download PACKAGE...: into the cache's debs/, unless there already.
arm_download()
{
    local pkg missing=()
    mkdir -p "$ARM_CACHE/debs"
    for pkg in "$@"; do
        [ -n "$(arm_deb "$pkg")" ] || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    step "downloading ${missing[*]}"
    # One apt-get for all: each start reads the package lists (about 2.5 s).
    # When that fails, one at a time, to name the package that is missing.
    (cd "$ARM_CACHE/debs" && apt-get download -q "${missing[@]}" >/dev/null 2>&1) && return 0
    for pkg in "${missing[@]}"; do
        [ -n "$(arm_deb "$pkg")" ] && continue
        (cd "$ARM_CACHE/debs" && apt-get download -q "$pkg" >/dev/null 2>&1) ||
            die "apt-get download $pkg failed: the package $pkg is needed (apt-get update?)"
    done
}

# The cached package file of PACKAGE:ARCH (or of PACKAGE for all architectures),
# the last by name when there are several.
arm_deb()
{
    local deb last=
    for deb in "$ARM_CACHE/debs/${1%%:*}_"*"_${1##*:}.deb" "$ARM_CACHE/debs/${1%%:*}_"*_all.deb; do
        if [ -e "$deb" ] && [[ ! "$deb" < "$last" ]]; then
            last=$deb
        fi
    done
    echo "$last"
}

# The version linux-image-armmp:armhf points to today.
arm_kernel_package()
{
    apt-cache depends linux-image-armmp:armhf 2>/dev/null |
        awk '/Depends: linux-image-[0-9]/ {sub(/:armhf$/, "", $2); print $2; exit}'
}

arm_fetch_kernel()
{
    local pkg
    arm_check_host
    pkg=$(arm_kernel_package)
    [ -n "$pkg" ] || die "cannot resolve linux-image-armmp:armhf (dpkg --add-architecture armhf; apt-get update)"
    KVER=${pkg#linux-image-}
    KROOT=$ARM_CACHE/kernel-$KVER
    if [ ! -e "$KROOT/boot/vmlinuz-$KVER" ]; then
        arm_download "$pkg:armhf"
        rm -rf "$KROOT"
        dpkg-deb -x "$(arm_deb "$pkg:armhf")" "$KROOT"
    fi
    [ -e "$KROOT/lib/modules/$KVER/modules.dep" ] || depmod -b "$KROOT" "$KVER"
    ARM_UIMAGE=$ARM_CACHE/uImage-$KVER
    [ -e "$ARM_UIMAGE" ] || arm_make_uimage "$KROOT/boot/vmlinuz-$KVER" "$ARM_UIMAGE"
    arm_fetch_userland
    arm_device_trees
}

# The zImage decompresses itself under TCG, which is most of the time to init.
# Decompressed once here (the XZ payload starts at the second XZ magic; the
# first is the decompressor's own constant) and wrapped in a legacy uImage
# header that loads it where armmp runs it: 0x40000000 (RAM) + TEXT_OFFSET
# 0x208000. Anywhere else the kernel hangs silently at its first interrupt.
arm_make_uimage()
{
    local zimage=$1 out=$2
    step "decompressing the kernel once into $(basename "$out")"
    python3 - "$zimage" "$out.image" <<'PY' || die "no XZ payload found in $zimage"
import sys
data = open(sys.argv[1], 'rb').read()
magic = b'\xfd7zXZ\x00'
first = data.find(magic)
second = data.find(magic, first + 1)
if first < 0 or second < 0:
    sys.exit(1)
open(sys.argv[2], 'wb').write(data[second:])
PY
    xz -dc --single-stream "$out.image" >"$out.raw" 2>/dev/null || die "decompressing $zimage failed"
    python3 - "$out.raw" "$out.tmp" <<'PY' || die "making the uImage failed"
import struct, sys, time, zlib
image = open(sys.argv[1], 'rb').read()
load = 0x40208000
def header(hcrc):
    return struct.pack('>7I4B32s', 0x27051956, hcrc, int(time.time()), len(image), load, load,
                       zlib.crc32(image), 5, 2, 2, 0, b'Linux armmp')   # Linux, ARM, kernel, none
open(sys.argv[2], 'wb').write(header(zlib.crc32(header(0))) + image)
PY
    rm -f "$out.image" "$out.raw"
    mv "$out.tmp" "$out"
}

arm_fetch_userland()
{
    local root=$ARM_CACHE/userland pkg want=${ARM_USERLAND_PACKAGES[*]}
    [ "$(cat "$root/.packages" 2>/dev/null)" = "$want" ] && return 0
    local debs=()
    for pkg in "${ARM_USERLAND_PACKAGES[@]}"; do
        case $pkg in
        *:*) debs+=("$pkg") ;;
        *) debs+=("$pkg:armhf") ;;
        esac
    done
    arm_download "${debs[@]}"
    rm -rf "$root"
    mkdir -p "$root"
    for pkg in "${debs[@]}"; do
        dpkg-deb -x "$(arm_deb "$pkg")" "$root"
    done
    echo "$want" >"$root/.packages"
}

# A file of the armhf userland by the path the host's merged /usr gives it.
arm_userland_file()
{
    local root=$ARM_CACHE/userland path=$1
    if [ -e "$root$path" ]; then
        echo "$root$path"
    elif [ -e "$root${path#/usr}" ]; then
        echo "$root${path#/usr}"
    else
        return 1
    fi
}

# An ELF file's libraries, found the way the guest's loader finds them, go to
# the guest's /lib/arm-linux-gnueabihf (the loader to /lib). The cross
# toolchain's C runtime comes first, so that the loader and libc match.
arm_find_library()
{
    local name=$1 dir
    for dir in "$ARM_SYSROOT/lib" "$ARM_CACHE/userland/lib/arm-linux-gnueabihf" \
        "$ARM_CACHE/userland/usr/lib/arm-linux-gnueabihf" /usr/lib/arm-linux-gnueabihf \
        /lib/arm-linux-gnueabihf; do
        [ -e "$dir/$name" ] && { echo "$dir/$name"; return 0; }
    done
    return 1
}

arm_copy_libraries()
{
    local root=$1 elf=$2 lib path mapped
    mapped=$(arm_userland_file "$elf") || mapped=$elf
    for lib in $(readelf -d "$mapped" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        [ -e "$root/lib/arm-linux-gnueabihf/$lib" ] && continue
        # The project's own libraries are installed with it (RUNPATH).
        find "$root/usr" -name "$lib" 2>/dev/null | grep -q . && continue
        path=$(arm_find_library "$lib") ||
            die "$lib (needed by $(basename "$elf")) is in no armhf package of the lab: add it to ARM_USERLAND_PACKAGES"
        mkdir -p "$root/lib/arm-linux-gnueabihf"
        cp -L "$path" "$root/lib/arm-linux-gnueabihf/$lib"
        arm_copy_libraries "$root" "$path"
    done
    if [ ! -e "$root/lib/ld-linux-armhf.so.3" ]; then
        cp -L "$ARM_SYSROOT/lib/ld-linux-armhf.so.3" "$root/lib/ld-linux-armhf.so.3"
    fi
}

# A guest tool is looked at in the armhf userland, not on the host.
arm_is_elf()
{
    local file
    file=$(arm_userland_file "$1") || file=$1
    [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ]
}

# As install_tools (lab/host/initramfs.sh), from the armhf userland.
arm_install_tools()
{
    local root=$1 tool file
    for tool in $GUEST_TOOLS; do
        file=$(arm_userland_file "$tool") || die "$tool is missing from the armhf userland"
        mkdir -p "$root$(dirname "$tool")"
        cp -L "$file" "$root$tool"
    done
    ln -s /usr/bin/dash "$root/bin/sh"
    for tool in modprobe insmod rmmod lsmod depmod; do
        ln -s ../bin/kmod "$root/usr/sbin/$tool"
    done
    ln -s aplay "$root/usr/bin/arecord"
    mkdir -p "$root/usr/share"
    cp -r "$ARM_CACHE/userland/usr/share/alsa" "$root/usr/share/alsa"
    cp "$ARM_CACHE/userland/bin/busybox" "$root/bin/busybox"
    for tool in $(qemu-arm "$root/bin/busybox" --list); do
        [ -e "$root/bin/$tool" ] || [ -e "$root/usr/sbin/$tool" ] || [ -e "$root/usr/bin/$tool" ] ||
            ln -s busybox "$root/bin/$tool"
    done
}

# qemu's own device tree of the machine (per CPU count: the tree lists the
# CPUs), as source, and the board's trees built on it: lab/pwm/board.dts (the
# PWM controller and the dimmer node) and board-twin.dts (a second dimmer).
arm_device_trees()
{
    local cpus tree
    mkdir -p "$ARM_OUT"
    for cpus in 1 2; do
        qemu-system-arm "${ARM_MACHINE[@]}" -smp $cpus -machine dumpdtb="$ARM_OUT/virt.dtb" \
            -display none >"$ARM_OUT/dumpdtb.log" 2>&1 || { cat "$ARM_OUT/dumpdtb.log"; die "qemu could not dump the virt machine's device tree"; }
        mkdir -p "$ARM_OUT/smp$cpus"
        dtc -q -I dtb -O dts -o "$ARM_OUT/smp$cpus/virt.dts" "$ARM_OUT/virt.dtb"
        cp "$LAB_DIR"/pwm/board*.dts "$ARM_OUT/smp$cpus/"
        for tree in "$LAB_DIR"/pwm/board*.dts; do
            dtc -q -I dts -O dtb -i "$ARM_OUT/smp$cpus" -o "$ARM_OUT/smp$cpus/$(basename "$tree" .dts).dtb" \
                "$ARM_OUT/smp$cpus/$(basename "$tree")" 2>"$ARM_OUT/dtc.log" ||
                { cat "$ARM_OUT/dtc.log"; die "dtc $tree failed"; }
        done
    done
    rm -f "$ARM_OUT/virt.dtb"
}

# The board's description for the next power-ons: a tree of lab/pwm/.
arm_table_args()
{
    echo "-dtb"
    echo "$ARM_OUT/smp@CPUS@/$1.dtb"
}

# boot_vm LOG RESULTS STATE KERNEL-ARGS... (as lab/host/vm.sh): the results
# go to a virtio console, /dev/hvc0 in the guest.
# cryptomgr.notests: see LAB_KERNEL_ARGS in lab/host/vm.sh.
arm_boot_vm()
{
    local log=$1 results=$2 state=$3 args=() arg dtb=$ARM_OUT/smp$LAB_VM_CPUS/board.dtb
    shift 3
    rm -f "$log" "$results"
    for arg in ${LAB_QEMU_ARGS[@]+"${LAB_QEMU_ARGS[@]}"}; do
        args+=("${arg//@CPUS@/$LAB_VM_CPUS}")
    done
    [[ " ${args[*]} " == *" -dtb "* ]] || args+=(-dtb "$dtb")
    touch "$results"
    timeout "$LAB_VM_TIMEOUT" qemu-system-arm "${ARM_MACHINE[@]}" -accel tcg -smp "$LAB_VM_CPUS" \
        -kernel "$ARM_UIMAGE" -initrd "$LAB_INITRAMFS" \
        -append "console=ttyAMA0 $LAB_KERNEL_ARGS lab.results=hvc0 $*" \
        -drive file="$state",format=raw,if=virtio \
        -device virtio-serial-pci -chardev file,id=results,path="$results" -device virtconsole,chardev=results \
        "${args[@]}" -display none -monitor none -serial file:"$log" -no-reboot \
        </dev/null >>"$log.qemu" 2>&1
}

# The armmp headers of exactly the kernel the board boots, with the common
# headers beside them and a kbuild of the host's architecture whose modpost is
# Debian's armhf modpost run under qemu-arm (the host's modpost misreads 32-bit
# ARM modules: "sizeof(struct of_device_id)=200 is not a modulo of the size of
# section ..."). Sets ARM_KDIR.
arm_kernel_headers()
{
    local root kver_pkg version common kdir
    # The physical path: checkouts that share one cache through a symbolic
    # link then agree on the paths written into it.
    root=$(realpath -m "$ARM_CACHE/headers-$KVER")
    kdir=$root/usr/src/linux-headers-$KVER
    ARM_KDIR=$kdir
    if [ ! -e "$root/.done" ]; then
        version=$(dpkg-deb -f "$(arm_deb "linux-image-$KVER:armhf")" Version)
        arm_download "linux-headers-$KVER:armhf" "linux-kbuild-6.1:armhf" "linux-kbuild-6.1:amd64"
        kver_pkg=$(dpkg-deb -f "$(arm_deb "linux-headers-$KVER:armhf")" Version)
        [ "$kver_pkg" = "$version" ] || die "the kernel image is $version but linux-headers-$KVER:armhf is" \
            "$kver_pkg: remove lab/cache/armhf/debs/linux-headers-* and apt-get update"
        common=$(dpkg-deb -f "$(arm_deb "linux-headers-$KVER:armhf")" Depends | tr ',' '\n' |
            sed -n 's/^ *\(linux-headers-[^ ]*-common\).*/\1/p')
        [ -n "$common" ] || die "linux-headers-$KVER:armhf names no common headers package"
        arm_download "$common:all"
        rm -rf "$root"
        mkdir -p "$root/armhf-kbuild"
        dpkg-deb -x "$(arm_deb "linux-headers-$KVER:armhf")" "$root"
        dpkg-deb -x "$(arm_deb "$common:all")" "$root"
        dpkg-deb -x "$(arm_deb "linux-kbuild-6.1:amd64")" "$root"
        dpkg-deb -x "$(arm_deb "linux-kbuild-6.1:armhf")" "$root/armhf-kbuild"
        rm -f "$root/usr/lib/linux-kbuild-6.1/scripts/mod/modpost"
        touch "$root/.done"
    fi
    # The headers name their own folder twice (the -common include and the
    # modpost wrapper); a cache moved since is pointed at where it is now.
    [ "$(cat "$root/.done")" = "$root" ] || arm_point_headers_at "$root" "$kdir"
}

# arm_point_headers_at ROOT KDIR: the headers' absolute paths into ROOT.
arm_point_headers_at()
{
    local root=$1 kdir=$2 modpost=$1/usr/lib/linux-kbuild-6.1/scripts/mod/modpost
    sed -i "s|^include .*/usr/src/\(linux-headers-[^/]*-common/\)|include $root/usr/src/\1|" "$kdir/Makefile"
    rm -f "$modpost"
    cat >"$modpost" <<MODPOST
#!/bin/sh
exec qemu-arm -L $ARM_SYSROOT $root/armhf-kbuild/usr/lib/linux-kbuild-6.1/scripts/mod/modpost.real-lsb-32 "\$@"
MODPOST
    chmod +x "$modpost"
    echo "$root" >"$root/.done"
}

arm_build_pwm_lab()
{
    local kdir module
    step "building dimmerdev.ko and labpwm.ko for $KVER (armhf)"
    arm_kernel_headers
    kdir=$ARM_KDIR
    mkdir -p "$PWM_OUT"
    # shellcheck disable=SC2034 # build_module's (lab/host/pwm.sh)
    LAB_KBUILD_ARGS=(ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf-)
    build_module dimmerdev "$kdir" "$LAB_TOP/driver/dimmerdev.c" "$LAB_TOP/driver/pwm_ioctl.h"
    build_module labpwm "$kdir" "$LAB_DIR/pwm/labpwm.c"
    for module in dimmerdev labpwm; do
        arm_check_vermagic "$PWM_OUT/$module/$module.ko"
    done
    arm_snd_dummy "$kdir"
}

arm_check_vermagic()
{
    local magic
    magic=$(modinfo -F vermagic "$1")
    [ "${magic%% *}" = "$KVER" ] ||
        die "$(basename "$1") was built for ${magic%% *}, the board boots $KVER: the headers do not match the image"
}

# armmp leaves out snd-dummy (# CONFIG_SND_DUMMY is not set), the clock of the
# audio scenarios' loopback card. It is built here, once, from
# sound/drivers/dummy.c of Debian's linux-source package of the kernel's
# version, and joins the cached kernel's modules (updates/), so that the
# initramfs takes it like any other.
arm_snd_dummy()
{
    local kdir=$1 ko=$KROOT/lib/modules/$KVER/updates/snd-dummy.ko
    [ -e "$ko" ] && return 0
    arm_snd_dummy_source
    step "building snd-dummy.ko for $KVER"
    build_module snd-dummy "$kdir" "$ARM_DUMMY_SOURCE"
    arm_check_vermagic "$PWM_OUT/snd-dummy/snd-dummy.ko"
    install -D -m 644 "$PWM_OUT/snd-dummy/snd-dummy.ko" "$ko"
    depmod -b "$KROOT" "$KVER"
}

# snd-dummy's source, from the cache or extracted once: sets ARM_DUMMY_SOURCE.
arm_snd_dummy_source()
{
    local version source src
    version=$(dpkg-deb -f "$(arm_deb "linux-image-$KVER:armhf")" Version)
    source=linux-source-$(echo "$KVER" | cut -d. -f1,2)
    src=$ARM_CACHE/snd-dummy-$version/snd-dummy.c
    ARM_DUMMY_SOURCE=$src
    if [ ! -e "$src" ]; then
        arm_download "$source:all"
        [ "$(dpkg-deb -f "$(arm_deb "$source:all")" Version)" = "$version" ] ||
            die "$source is $(dpkg-deb -f "$(arm_deb "$source:all")" Version), the kernel $version:" \
                "remove lab/cache/armhf/debs/${source}_* and apt-get update"
        step "extracting sound/drivers/dummy.c from $source"
        mkdir -p "$(dirname "$src")"
        dpkg-deb --fsys-tarfile "$(arm_deb "$source:all")" | tar -xO --wildcards "*/$source.tar.xz" | xz -dc |
            tar -xO "$source/sound/drivers/dummy.c" >"$src.tmp" || die "dummy.c not found in $source"
        mv "$src.tmp" "$src"
    fi
}

# Everything the ARM board downloads: the kernel, the userland, the headers and
# snd-dummy's source.
arm_fetch_all()
{
    arm_fetch_kernel
    arm_kernel_headers
    arm_snd_dummy_source
}
