/* Stand-in for the kernel header of the same name. The harness is built once
 * per kernel layout it fakes: 4.9 (FAKE_PWM_LINUX_4_9), 6.12 (FAKE_LINUX_6_12)
 * or, by default, 6.1. */
#ifndef FAKE_LINUX_VERSION_H
#define FAKE_LINUX_VERSION_H

#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + ((c) > 255 ? 255 : (c)))

#if defined(FAKE_PWM_LINUX_4_9)
#define LINUX_VERSION_CODE KERNEL_VERSION(4, 9, 227)
#elif defined(FAKE_LINUX_6_12)
#define LINUX_VERSION_CODE KERNEL_VERSION(6, 12, 0)
#else
#define LINUX_VERSION_CODE KERNEL_VERSION(6, 1, 0)
#endif

#endif
