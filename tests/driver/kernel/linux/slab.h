/* Stand-in for the kernel header of the same name: heap memory. */
#ifndef FAKE_LINUX_SLAB_H
#define FAKE_LINUX_SLAB_H

#include <linux/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define GFP_KERNEL 0x1u

void *kzalloc(size_t size, gfp_t flags);
void kfree(const void *ptr);

#ifdef __cplusplus
}
#endif

#endif
