/* Stand-in for the kernel header of the same name: copies across the user
 * boundary. Both return the number of bytes NOT copied. */
#ifndef FAKE_LINUX_UACCESS_H
#define FAKE_LINUX_UACCESS_H

#include <linux/types.h>

#ifdef __cplusplus
extern "C" {
#endif

unsigned long copy_from_user(void *to, const void __user *from, unsigned long n);
unsigned long copy_to_user(void __user *to, const void *from, unsigned long n);

#ifdef __cplusplus
}
#endif

#endif
