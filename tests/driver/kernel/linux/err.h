/* Stand-in for the kernel header of the same name: errors carried in pointers. */
#ifndef FAKE_LINUX_ERR_H
#define FAKE_LINUX_ERR_H

#include <linux/errno.h>
#include <linux/types.h>

#define MAX_ERRNO 4095

static inline void *ERR_PTR(long error)
{
    return (void *)error;
}

static inline long PTR_ERR(const void *ptr)
{
    return (long)ptr;
}

static inline bool IS_ERR(const void *ptr)
{
    return (unsigned long)ptr >= (unsigned long)-MAX_ERRNO;
}

#endif
