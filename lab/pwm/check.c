// SPDX-License-Identifier: GPL-2.0
#include "check.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/ioctl.h>

#include "pwm_ioctl.h"

static int failures;

void check(bool ok, const char *what, const char *why, ...)
{
	va_list ap;

	if (ok) {
		printf("PASS %s\n", what);
	} else {
		failures++;
		printf("FAIL %s: ", what);
		va_start(ap, why);
		vprintf(why, ap);
		va_end(ap);
		printf("\n");
	}
	fflush(stdout);
}

int check_failures(void)
{
	return failures;
}

int pwm_cmd(int fd, unsigned long cmd, void *arg)
{
	return ioctl(fd, cmd, arg) == 0 ? 0 : -errno;
}

int pwm_set_config(int fd, int duty, int period)
{
	struct pwm_ioctl_config cfg = { .duty_cycle = duty, .period = period };

	return pwm_cmd(fd, PWM_IOCTL_SET_CONFIG, &cfg);
}

int pwm_set_polarity(int fd, int value)
{
	__s32 v = value;

	return pwm_cmd(fd, PWM_IOCTL_SET_POLARITY, &v);
}

int pwm_state(int fd, struct lab_state *s)
{
	struct pwm_ioctl_status st;
	int ret = pwm_cmd(fd, PWM_IOCTL_GET_STATE, &st);

	if (ret == 0) {
		s->duty = st.duty_cycle;
		s->period = st.period;
		s->enabled = st.enabled;
		s->polarity = st.polarity;
	}
	return ret;
}
