#!/bin/sh
# dimmerdev through DKMS, as a distribution builds it: the installed DKMS
# source (cmake --install, component dkms) is added to a private DKMS tree and
# built for every kernel whose headers are installed (/lib/modules/*/build);
# nothing is installed on the machine. Exits 77 (skipped) without dkms or
# without installed kernel headers.
#   check-dkms.sh BUILD_DIR WORK_DIR VERSION
set -eu
build=$1
work=$2
version=$3

dkms=$(command -v dkms || echo /usr/sbin/dkms)
[ -x "$dkms" ] || { echo "SKIPPED: dkms is not installed (scripts/setup)"; exit 77; }
kernels=$(for dir in /lib/modules/*/build; do [ -f "$dir/Makefile" ] && basename "$(dirname "$dir")"; done)
[ -n "$kernels" ] || { echo "SKIPPED: no kernel headers installed (/lib/modules/*/build)"; exit 77; }
modinfo=$(command -v modinfo || echo /sbin/modinfo)

rm -rf "$work"
cmake --install "$build" --component dkms --prefix "$work/root" >/dev/null
src=$work/root/src
tree=$work/tree
mkdir -p "$tree"
[ -f "$src/dimmerdev-$version/dkms.conf" ] || { echo "FAIL: no dkms.conf in $src/dimmerdev-$version"; exit 1; }
run_dkms()
{
    "$dkms" "$@" -m dimmerdev -v "$version" --sourcetree "$src" --dkmstree "$tree" >>"$work/dkms.log" 2>&1 ||
        { cat "$work/dkms.log"; echo "FAIL: dkms $*"; exit 1; }
}

run_dkms add
fails=0
for kernel in $kernels; do
    run_dkms build -k "$kernel"
    ko=$(find "$tree/dimmerdev/$version/$kernel" -name 'dimmerdev.ko*' | head -1)
    if [ -z "$ko" ]; then
        echo "FAIL $kernel: dkms build left no dimmerdev.ko"
        fails=1
        continue
    fi
    case $("$modinfo" -F vermagic "$ko") in
    "$kernel "*) echo "PASS $kernel: dkms built $ko" ;;
    *) echo "FAIL $kernel: $ko has vermagic $("$modinfo" -F vermagic "$ko")"; fails=1 ;;
    esac
done
"$dkms" status -m dimmerdev -v "$version" --dkmstree "$tree" --sourcetree "$src" 2>/dev/null || true
exit $fails
