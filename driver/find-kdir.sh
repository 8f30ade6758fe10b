#!/bin/sh
# Prints the build folder of the kernel headers that Debian's linux-headers-amd64
# meta-package points at (the running kernel is not Debian's, so
# /lib/modules/$(uname -r)/build does not exist). Prints nothing when absent.
pkg=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 2>/dev/null | sed -n 's/^\(linux-headers-[^ ,]*\).*/\1/p')
if [ -n "$pkg" ] && [ -f "/usr/src/$pkg/Makefile" ]; then
    echo "/usr/src/$pkg"
    exit 0
fi
# Without the meta-package: the newest installed amd64 headers, if any.
for dir in $(ls -d /usr/src/linux-headers-*-amd64 2>/dev/null | sort -V -r); do
    if [ -f "$dir/Makefile" ]; then
        echo "$dir"
        exit 0
    fi
done
