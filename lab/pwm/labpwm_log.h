/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Access to the lab's PWM controller (labpwm) from user space: its log of
 * applied states and its fault injection, through the attribute files of its
 * platform device.
 */
#ifndef LABPWM_LOG_H
#define LABPWM_LOG_H

#include <stdbool.h>
#include <stddef.h>

/* One state as labpwm recorded it, or as GET_STATE reports it. */
struct lab_state {
	unsigned int duty;
	unsigned int period;
	unsigned int enabled;
	unsigned int polarity;
};

struct lab_apply {
	unsigned long seq; /* 0 for the first apply since the log was cleared */
	unsigned int channel;
	struct lab_state state;
};

/* Set the controller's folder (its platform device in sysfs) once. */
void lab_controller(const char *dir);

/* Clears the log; 0 or -1. */
int lab_clear(void);

/*
 * Reads the newest entries of the log, oldest first, into out (at most max).
 * Returns how many, or -1 when the log cannot be read or a line does not
 * parse (a torn or garbled record counts as unreadable).
 */
int lab_read(struct lab_apply *out, int max);

/* The next apply on channel fails with -err. 0 or -1. */
int lab_fail_next(unsigned int channel, int err);

/* The controller reports period and duty cycle rounded down to step ns. */
int lab_round(unsigned long step);

bool lab_same(const struct lab_state *a, const struct lab_state *b);

/* "duty=D period=P enabled=E polarity=X" in buf. */
const char *lab_describe(const struct lab_state *s, char *buf, size_t size);

#endif /* LABPWM_LOG_H */
