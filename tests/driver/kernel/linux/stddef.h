/* Stand-in for the kernel header of the same name: offsetof. User-space
 * headers include this one too, so it passes on to the real one. */
#ifndef FAKE_LINUX_STDDEF_H
#define FAKE_LINUX_STDDEF_H

#include_next <linux/stddef.h>
#include <stddef.h>

#endif
