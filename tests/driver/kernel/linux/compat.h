/* Stand-in for the kernel header of the same name: the pointers of 32-bit
 * programs on a 64-bit kernel. The fake hands the driver 32-bit handles for
 * user buffers, which only compat_ptr() turns back into addresses. */
#ifndef FAKE_LINUX_COMPAT_H
#define FAKE_LINUX_COMPAT_H

#include <linux/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef u32 compat_uptr_t;

void __user *compat_ptr(compat_uptr_t uptr);

#ifdef __cplusplus
}
#endif

#endif
