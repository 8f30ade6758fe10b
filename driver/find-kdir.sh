#!/bin/sh
# Kernel header folders (kbuild trees) to build dimmerdev against.
#   find-kdir.sh        the one a plain "make" uses: the headers that Debian's
#                       linux-headers-amd64 points at (the running kernel is
#                       not Debian's, so /lib/modules/$(uname -r)/build does
#                       not exist), else the newest installed amd64 headers
#   find-kdir.sh --all  every header set on this machine: those installed in
#                       /usr/src and those scripts/kernel-headers unpacked
#                       (kernels whose headers Debian installs only with the
#                       kernel itself), one folder a line
# Prints nothing when there are none.
here=$(cd "$(dirname "$0")" && pwd)
unpacked=${KERNEL_HEADERS_DIR:-$(dirname "$here")/build/kernel-headers}

# A kbuild tree of one kernel flavour, not the -common half Debian splits off.
is_kbuild_tree()
{
    [ -f "$1/Makefile" ] && [ -f "$1/.config" ]
}

if [ "${1:-}" = --all ]; then
    for dir in /usr/src/linux-headers-* "$unpacked"/*/usr/src/linux-headers-*; do
        is_kbuild_tree "$dir" && echo "$dir"
    done
    exit 0
fi

pkg=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 2>/dev/null | sed -n 's/^\(linux-headers-[^ ,]*\).*/\1/p')
if [ -n "$pkg" ] && [ -f "/usr/src/$pkg/Makefile" ]; then
    echo "/usr/src/$pkg"
    exit 0
fi
# Without the meta-package: the newest installed amd64 headers, if any.
for dir in $(printf '%s\n' /usr/src/linux-headers-*-amd64 | sort -V -r); do
    if [ -f "$dir/Makefile" ]; then
        echo "$dir"
        exit 0
    fi
done
