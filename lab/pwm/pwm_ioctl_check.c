// SPDX-License-Identifier: GPL-2.0
/*
 * pwm_ioctl_check: raw ioctl checks of /dev/pwm_ctrl on a real kernel, against
 * what the lab's PWM controller (labpwm) recorded. Prints "PASS what" and
 * "FAIL what: why" lines; exits 1 when a check failed, 2 when it could not run.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "check.h"
#include "pwm_ioctl.h"
#include "pwm_stress.h"

static const char usage[] =
	"Usage: pwm_ioctl_check commands DEVICE CONTROLLER CHANNEL\n"
	"       pwm_ioctl_check stress DEVICE CONTROLLER CHANNEL SECONDS\n"
	"       pwm_ioctl_check gone FD...\n"
	"\n"
	"commands  every command, refusal and failing apply on DEVICE, "
	"checked\n"
	"          against the log of the labpwm controller whose sysfs "
	"folder\n"
	"          is CONTROLLER (the device's PWM is its channel CHANNEL)\n"
	"stress    4 processes issuing mixed commands for SECONDS\n"
	"gone      every command on the inherited open files FD fails with\n"
	"          ENODEV (their device was unbound), and closing them works\n";

static unsigned int channel;

/*
 * The outcome of one command: its result, how many states the controller
 * recorded meanwhile (0 or 1), and the state that the controller then holds,
 * which the recorded apply and GET_STATE must both show.
 */
static void expect(int fd, const char *what, int ret, int want_ret,
		   int want_applies, const struct lab_state *want)
{
	struct lab_apply log[64];
	struct lab_state now;
	char a[96], b[96];
	int n = lab_read(log, 64);

	if (ret != want_ret)
		check(false, what, "returned %d (%s), expected %d", ret,
		      strerror(-ret), want_ret);
	else if (n != want_applies)
		check(false, what, "the controller recorded %d applies, not %d",
		      n, want_applies);
	else if (n == 1 &&
		 (log[0].channel != channel || !lab_same(&log[0].state, want)))
		check(false, what, "applied ch%u %s, expected ch%u %s",
		      log[0].channel, lab_describe(&log[0].state, a, sizeof(a)),
		      channel, lab_describe(want, b, sizeof(b)));
	else if (pwm_state(fd, &now) != 0 || !lab_same(&now, want))
		check(false, what, "GET_STATE reports %s, expected %s",
		      lab_describe(&now, a, sizeof(a)),
		      lab_describe(want, b, sizeof(b)));
	else
		check(true, what, " ");
	lab_clear();
}

/* A known starting point: stopped, normal polarity, 250000 of 1000000 ns. */
static int start_state(int fd, struct lab_state *s)
{
	pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL);
	if (pwm_set_polarity(fd, 0) || pwm_set_config(fd, 250000, 1000000))
		return -1;
	*s = (struct lab_state){ 250000, 1000000, 0, 0 };
	return lab_clear();
}

static void check_config(int fd, struct lab_state *s)
{
	expect(fd, "SET_CONFIG with the current duty cycle and period",
	       pwm_set_config(fd, 250000, 1000000), 0, 0, s);
	s->duty = 500000;
	expect(fd, "SET_CONFIG with only the duty cycle changed",
	       pwm_set_config(fd, 500000, 1000000), 0, 1, s);
	s->period = 2000000;
	expect(fd, "SET_CONFIG with only the period changed",
	       pwm_set_config(fd, 500000, 2000000), 0, 1, s);
	expect(fd, "SET_CONFIG with a negative duty cycle: EINVAL",
	       pwm_set_config(fd, -1, 1000000), -EINVAL, 0, s);
	expect(fd, "SET_CONFIG with a period of 2^31 (negative): EINVAL",
	       pwm_set_config(fd, 0, INT32_MIN), -EINVAL, 0, s);
	/* The driver passes it on; the PWM core refuses it. */
	expect(fd,
	       "SET_CONFIG with the duty cycle above the period: the core's "
	       "EINVAL",
	       pwm_set_config(fd, 3000000, 2000000), -EINVAL, 0, s);
}

static void check_enable(int fd, struct lab_state *s)
{
	s->enabled = 1;
	expect(fd, "ENABLE", pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL), 0, 1, s);
	expect(fd, "ENABLE again: nothing applied",
	       pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL), 0, 0, s);
	s->duty = 250000;
	s->period = 1000000;
	expect(fd, "SET_CONFIG on a running output: one apply, still running",
	       pwm_set_config(fd, 250000, 1000000), 0, 1, s);
	s->enabled = 0;
	expect(fd, "DISABLE", pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL), 0, 1, s);
	expect(fd, "DISABLE again: nothing applied",
	       pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL), 0, 0, s);
}

static void check_polarity(int fd, struct lab_state *s)
{
	s->enabled = 1;
	pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL);
	lab_clear();
	expect(fd, "SET_POLARITY to the current polarity while running: 0",
	       pwm_set_polarity(fd, 0), 0, 0, s);
	expect(fd, "SET_POLARITY to the other polarity while running: EBUSY",
	       pwm_set_polarity(fd, 1), -EBUSY, 0, s);
	s->enabled = 0;
	pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL);
	lab_clear();
	s->polarity = 1;
	expect(fd, "SET_POLARITY 7 on a stopped output: inversed",
	       pwm_set_polarity(fd, 7), 0, 1, s);
	s->enabled = 1;
	expect(fd, "ENABLE after SET_POLARITY starts inversed",
	       pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL), 0, 1, s);
	s->enabled = 0;
	pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL);
	lab_clear();
	s->polarity = 0;
	expect(fd, "SET_POLARITY 0: normal again", pwm_set_polarity(fd, 0), 0,
	       1, s);
}

/* A page that cannot be read or written, and one that can only be read. */
static void check_fault(int fd, struct lab_state *s)
{
	long page = sysconf(_SC_PAGESIZE);
	char *mem = mmap(NULL, 2 * page, PROT_READ | PROT_WRITE,
			 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	char *ro = mem, *none = mem + page;

	if (mem == MAP_FAILED) {
		check(false, "EFAULT checks", "mmap: %s", strerror(errno));
		return;
	}
	memset(mem, 0, 2 * page);
	mprotect(ro, page, PROT_READ);
	mprotect(none, page, PROT_NONE);
	expect(fd, "SET_CONFIG from a null address: EFAULT",
	       pwm_cmd(fd, PWM_IOCTL_SET_CONFIG, NULL), -EFAULT, 0, s);
	expect(fd, "SET_CONFIG from an unmapped page: EFAULT",
	       pwm_cmd(fd, PWM_IOCTL_SET_CONFIG, none), -EFAULT, 0, s);
	expect(fd, "SET_CONFIG from a record cut by an unmapped page: EFAULT",
	       pwm_cmd(fd, PWM_IOCTL_SET_CONFIG, none - 4), -EFAULT, 0, s);
	expect(fd, "SET_POLARITY from an unmapped page: EFAULT",
	       pwm_cmd(fd, PWM_IOCTL_SET_POLARITY, none), -EFAULT, 0, s);
	expect(fd, "GET_STATE into a null address: EFAULT",
	       pwm_cmd(fd, PWM_IOCTL_GET_STATE, NULL), -EFAULT, 0, s);
	expect(fd, "GET_STATE into a read-only page: EFAULT",
	       pwm_cmd(fd, PWM_IOCTL_GET_STATE, ro), -EFAULT, 0, s);
	munmap(mem, 2 * page);
}

static void check_unknown(int fd, struct lab_state *s)
{
	struct pwm_ioctl_status st;

	expect(fd, "SET_CONFIG's number with the read direction: ENOTTY",
	       pwm_cmd(fd, _IOR('P', 1, struct pwm_ioctl_config), &st), -ENOTTY,
	       0, s);
	expect(fd, "SET_CONFIG's number with another size: ENOTTY",
	       pwm_cmd(fd, _IOW('P', 1, __s32), &st), -ENOTTY, 0, s);
	expect(fd, "ENABLE's number with an argument size: ENOTTY",
	       pwm_cmd(fd, _IOW('P', 2, __s32), &st), -ENOTTY, 0, s);
	expect(fd, "command number 6: ENOTTY", pwm_cmd(fd, _IO('P', 6), NULL),
	       -ENOTTY, 0, s);
	expect(fd, "ENABLE's number with another type letter: ENOTTY",
	       pwm_cmd(fd, _IO('Q', 2), NULL), -ENOTTY, 0, s);
}

/* The controller fails the next apply: the command returns its error. */
static void check_failing_apply(int fd, struct lab_state *s)
{
	lab_fail_next(channel, EIO);
	expect(fd, "SET_CONFIG whose apply fails returns its EIO",
	       pwm_set_config(fd, 100000, 1000000), -EIO, 0, s);
	lab_fail_next(channel, ETIMEDOUT);
	expect(fd, "ENABLE whose apply fails returns its ETIMEDOUT",
	       pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL), -ETIMEDOUT, 0, s);
	lab_fail_next(channel, EIO);
	expect(fd, "SET_POLARITY whose apply fails returns its EIO",
	       pwm_set_polarity(fd, 1), -EIO, 0, s);
	s->enabled = 1;
	pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL);
	lab_clear();
	lab_fail_next(channel, EIO);
	/* The PWM core keeps its state when the apply fails. */
	expect(fd, "DISABLE whose apply fails returns 0",
	       pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL), 0, 0, s);
	s->enabled = 0;
	/* Applies now: so the failed DISABLE had tried and used up the fault. */
	expect(fd, "DISABLE after the failed one applies",
	       pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL), 0, 1, s);
}

/* Open files share the device; a read-only file changes it too. */
static void check_files(const char *device, struct lab_state *s)
{
	int ro = open(device, O_RDONLY);

	if (ro < 0) {
		check(false, "a second, read-only file", "open: %s",
		      strerror(errno));
		return;
	}
	s->duty = 750000;
	expect(ro, "SET_CONFIG on a read-only file",
	       pwm_set_config(ro, 750000, 1000000), 0, 1, s);
	close(ro);
}

static int run_commands(const char *device)
{
	struct lab_state s;
	int fd = open(device, O_RDWR);

	if (fd < 0 || start_state(fd, &s)) {
		printf("FAIL raw ioctls: cannot set up %s: %s\n", device,
		       strerror(errno));
		return 2;
	}
	check_config(fd, &s);
	check_enable(fd, &s);
	check_polarity(fd, &s);
	check_fault(fd, &s);
	check_unknown(fd, &s);
	check_failing_apply(fd, &s);
	check_files(device, &s);
	close(fd);
	return check_failures() ? 1 : 0;
}

/* Every command, valid or not, on a file whose device went away. */
static void check_gone(int fd)
{
	struct pwm_ioctl_status st;
	char what[64];
	const struct {
		const char *name;
		unsigned long cmd;
	} cmds[] = {
		{ "SET_CONFIG", PWM_IOCTL_SET_CONFIG },
		{ "ENABLE", PWM_IOCTL_ENABLE },
		{ "DISABLE", PWM_IOCTL_DISABLE },
		{ "SET_POLARITY", PWM_IOCTL_SET_POLARITY },
		{ "GET_STATE", PWM_IOCTL_GET_STATE },
		{ "an unknown command", _IO('P', 6) },
	};
	size_t i;
	int ret;

	memset(&st, 0, sizeof(st));
	for (i = 0; i < sizeof(cmds) / sizeof(cmds[0]); i++) {
		ret = pwm_cmd(fd, cmds[i].cmd, &st);
		snprintf(what, sizeof(what), "%s on open file %d: ENODEV",
			 cmds[i].name, fd);
		check(ret == -ENODEV, what, "returned %d (%s)", ret,
		      strerror(-ret));
	}
	snprintf(what, sizeof(what), "closing open file %d", fd);
	ret = close(fd);
	check(ret == 0, what, "%s", strerror(errno));
}

int main(int argc, char **argv)
{
	int i;

	if (argc > 1 && !strcmp(argv[1], "--help")) {
		fputs(usage, stdout);
		return 0;
	}
	if (argc == 5 && !strcmp(argv[1], "commands")) {
		lab_controller(argv[3]);
		channel = strtoul(argv[4], NULL, 0);
		return run_commands(argv[2]);
	}
	if (argc == 6 && !strcmp(argv[1], "stress")) {
		lab_controller(argv[3]);
		return pwm_stress(argv[2], strtoul(argv[4], NULL, 0),
				  atoi(argv[5]));
	}
	if (argc > 2 && !strcmp(argv[1], "gone")) {
		for (i = 2; i < argc; i++)
			check_gone(atoi(argv[i]));
		return check_failures() ? 1 : 0;
	}
	fputs(usage, stderr);
	return 2;
}
