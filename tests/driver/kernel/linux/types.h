/* Stand-in for the kernel header of the same name: the user-space types (the C
 * library includes this header too) plus the kernel's short ones. */
#ifndef FAKE_LINUX_TYPES_H
#define FAKE_LINUX_TYPES_H

#include_next <linux/types.h>
#include <stdint.h>
#include <sys/types.h> /* dev_t: the C library's, wide enough for the kernel's */
#ifndef __cplusplus
#include <stdbool.h>
#endif

typedef int32_t s32;
typedef uint32_t u32;
typedef uint64_t u64;
typedef unsigned int gfp_t;

#define __user

#endif
