/* Stand-in for the kernel header of the same name: what dimmerdev uses. */
#ifndef FAKE_LINUX_KERNEL_H
#define FAKE_LINUX_KERNEL_H

#include <linux/stddef.h>
#include <linux/types.h>

#define container_of(ptr, type, member) ((type *)((char *)(ptr)-offsetof(type, member)))

#endif
