/* SPDX-License-Identifier: GPL-2.0 */
/*
 * What the lab's PWM check programs share: their results as "PASS what" and
 * "FAIL what: why" lines (the lab's guest reports them), and the commands of
 * /dev/pwm_ctrl as calls that return 0 or -errno.
 */
#ifndef PWM_CHECK_H
#define PWM_CHECK_H

#include <stdbool.h>

#include "labpwm_log.h"

/* Reports one check; why is a printf format, used only when !ok. */
void check(bool ok, const char *what, const char *why, ...)
	__attribute__((format(printf, 3, 4)));

int check_failures(void);

/* ioctl(fd, cmd, arg): 0 or -errno. */
int pwm_cmd(int fd, unsigned long cmd, void *arg);

int pwm_set_config(int fd, int duty, int period);
int pwm_set_polarity(int fd, int value);
int pwm_state(int fd, struct lab_state *s);

#endif /* PWM_CHECK_H */
