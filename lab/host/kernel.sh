# shellcheck shell=bash
# Debian's kernel for the virtual board, unpacked (not installed) into the cache.
# Sets KVER and KROOT.

# The package that linux-image-amd64 points to today.
kernel_package()
{
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}

fetch_kernel()
{
    local pkg
    pkg=$(kernel_package)
    [ -n "$pkg" ] || die "cannot resolve linux-image-amd64 (apt-get update?)"
    KVER=${pkg#linux-image-}
    KROOT=$LAB_CACHE/kernel-$KVER
    if [ ! -e "$KROOT/boot/vmlinuz-$KVER" ]; then
        step "downloading $pkg"
        rm -rf "$LAB_CACHE/deb" "$KROOT"
        mkdir -p "$LAB_CACHE/deb"
        (cd "$LAB_CACHE/deb" && apt-get download -q "$pkg" >/dev/null 2>&1) ||
            die "apt-get download $pkg failed"
        dpkg-deb -x "$LAB_CACHE"/deb/"$pkg"_*.deb "$KROOT"
        rm -rf "$LAB_CACHE/deb"
    fi
    # The package ships no modules.dep.
    [ -e "$KROOT/lib/modules/$KVER/modules.dep" ] || depmod -b "$KROOT" "$KVER"
}

# Everything the board downloads (the ARM board's in lab/host/arm.sh).
fetch_all()
{
    fetch_kernel
}

# with_cache_lock COMMAND...: one lab run at a time fills the cache (a
# download started ahead of the run, by scripts/test, or another checkout's run
# sharing lab/cache); the others wait, then find it there.
with_cache_lock()
{
    local fd
    exec {fd}>"$LAB_CACHE/.lock"
    flock "$fd"
    "$@"
    flock -u "$fd"
    exec {fd}>&-
}
