/* Stand-in for the kernel header of the same name: the user-space numbers,
 * which are the kernel's, plus the kernel-internal ones dimmerdev meets. The C
 * library includes this header too, so it passes on to the real one. */
#ifndef FAKE_LINUX_ERRNO_H
#define FAKE_LINUX_ERRNO_H

#include_next <linux/errno.h>

#define EPROBE_DEFER 517

#endif
