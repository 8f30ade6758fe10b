/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * Commands and argument records of /dev/pwm_ctrl, shared by the dimmerdev
 * module and user space (C and C++).
 */
#ifndef PWM_IOCTL_H
#define PWM_IOCTL_H

#include <linux/ioctl.h>
#include <linux/types.h>

/* Requested duty cycle and period in nanoseconds; both must be 0 or more. */
struct pwm_ioctl_config {
	__s32 duty_cycle;
	__s32 period;
};

/* The PWM's current state as the PWM core reports it. */
struct pwm_ioctl_status {
	__u32 duty_cycle;
	__u32 period;
	__u32 enabled;	/* 1 when the output runs, else 0 */
	__u32 polarity; /* 1 when inversed, else 0 */
};

#define PWM_IOCTL_TYPE 'P'

#define PWM_IOCTL_SET_CONFIG _IOW(PWM_IOCTL_TYPE, 1, struct pwm_ioctl_config)
#define PWM_IOCTL_ENABLE _IO(PWM_IOCTL_TYPE, 2)
#define PWM_IOCTL_DISABLE _IO(PWM_IOCTL_TYPE, 3)
/* Argument: one signed 32-bit value, 0 for normal, anything else inversed. */
#define PWM_IOCTL_SET_POLARITY _IOW(PWM_IOCTL_TYPE, 4, __s32)
#define PWM_IOCTL_GET_STATE _IOR(PWM_IOCTL_TYPE, 5, struct pwm_ioctl_status)

/*
 * The numbers and layouts are a fixed binary interface: deployed programs
 * carry them, so a change here must fail the build, not the device.
 */
#ifdef __cplusplus
#define PWM_IOCTL_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define PWM_IOCTL_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

PWM_IOCTL_ASSERT(sizeof(struct pwm_ioctl_config) == 8,
		 "pwm_ioctl_config is 8 bytes");
PWM_IOCTL_ASSERT(sizeof(struct pwm_ioctl_status) == 16,
		 "pwm_ioctl_status is 16 bytes");
PWM_IOCTL_ASSERT(__builtin_offsetof(struct pwm_ioctl_config, period) == 4,
		 "period follows duty_cycle");
PWM_IOCTL_ASSERT(__builtin_offsetof(struct pwm_ioctl_status, period) == 4,
		 "status: period at 4");
PWM_IOCTL_ASSERT(__builtin_offsetof(struct pwm_ioctl_status, enabled) == 8,
		 "status: enabled at 8");
PWM_IOCTL_ASSERT(__builtin_offsetof(struct pwm_ioctl_status, polarity) == 12,
		 "status: polarity at 12");
PWM_IOCTL_ASSERT(PWM_IOCTL_SET_CONFIG == 0x40085001u, "set-config number");
PWM_IOCTL_ASSERT(PWM_IOCTL_ENABLE == 0x5002u, "enable number");
PWM_IOCTL_ASSERT(PWM_IOCTL_DISABLE == 0x5003u, "disable number");
PWM_IOCTL_ASSERT(PWM_IOCTL_SET_POLARITY == 0x40045004u, "set-polarity number");
PWM_IOCTL_ASSERT(PWM_IOCTL_GET_STATE == 0x80105005u, "get-state number");

#endif /* PWM_IOCTL_H */
