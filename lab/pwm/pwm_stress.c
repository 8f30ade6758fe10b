// SPDX-License-Identifier: GPL-2.0
/*
 * Four processes issue mixed commands on one device. The settings they ask
 * for come from a table in which every duty cycle belongs to one period only,
 * so a state mixed from two requests (a torn apply) shows as a pair that is
 * not in the table. Checked: every process ends (no deadlock), every command
 * answers as it may, every GET_STATE shows a whole state, every state the
 * controller recorded is whole and the records are numbered without gaps, and
 * at the end GET_STATE shows the last state applied.
 */
#include "pwm_stress.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "check.h"
#include "pwm_ioctl.h"

#define WORKERS 4
#define LOG_MAX 64

static const struct {
	int duty, period;
} pairs[] = {
	{ 250000, 1000000 }, { 1500000, 2000000 }, { 100000, 500000 },
	{ 800000, 800000 },  { 0, 1500000 },
};
#define NPAIRS (sizeof(pairs) / sizeof(pairs[0]))

/* What a worker tells the parent, in memory shared with it. */
struct tally {
	unsigned long commands;
	unsigned long gets;
	unsigned long bad;
	char first_bad[160];
	int done;
};

static unsigned int channel;

static double now(void)
{
	struct timespec ts;

	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + ts.tv_nsec / 1e9;
}

/* A state that the workers could have asked for, as a whole. */
static bool whole(const struct lab_state *s)
{
	size_t i;

	if (s->enabled > 1 || s->polarity > 1)
		return false;
	for (i = 0; i < NPAIRS; i++)
		if (s->duty == (unsigned int)pairs[i].duty &&
		    s->period == (unsigned int)pairs[i].period)
			return true;
	return false;
}

/* A command that answered ret, or (ret 0) the torn state what. */
static void bad(struct tally *t, const char *what, int ret)
{
	if (t->bad++ == 0 && ret)
		snprintf(t->first_bad, sizeof(t->first_bad), "%s returned %d",
			 what, ret);
	else if (t->bad == 1)
		snprintf(t->first_bad, sizeof(t->first_bad),
			 "GET_STATE showed %s", what);
}

/* One command chosen at random, with what it may answer. */
static void one_command(int fd, struct tally *t, unsigned int *seed)
{
	struct lab_state s;
	char text[96];
	int ret, pick = rand_r(seed) % 6, k = rand_r(seed) % NPAIRS;

	switch (pick) {
	case 0:
		ret = pwm_set_config(fd, pairs[k].duty, pairs[k].period);
		if (ret)
			bad(t, "SET_CONFIG", ret);
		break;
	case 1:
		ret = pwm_cmd(fd, PWM_IOCTL_ENABLE, NULL);
		if (ret)
			bad(t, "ENABLE", ret);
		break;
	case 2:
		ret = pwm_cmd(fd, PWM_IOCTL_DISABLE, NULL);
		if (ret)
			bad(t, "DISABLE", ret);
		break;
	case 3:
		ret = pwm_set_polarity(fd, rand_r(seed) % 2);
		if (ret != 0 && ret != -EBUSY)
			bad(t, "SET_POLARITY", ret);
		break;
	default:
		t->gets++;
		ret = pwm_state(fd, &s);
		if (ret)
			bad(t, "GET_STATE", ret);
		else if (!whole(&s))
			bad(t, lab_describe(&s, text, sizeof(text)), 0);
	}
	t->commands++;
}

static void worker(const char *device, struct tally *t, int n, double end)
{
	unsigned int seed = getpid() * 7919u + n;
	int fd = open(device, n % 2 ? O_RDONLY : O_RDWR);

	if (fd < 0) {
		bad(t, "open", -errno);
		_exit(1);
	}
	while (now() < end)
		one_command(fd, t, &seed);
	close(fd);
	t->done = 1;
	_exit(0);
}

/* Every record whole and on our channel, numbered without gaps. */
static int sample_log(unsigned long *entries, char *why, size_t size)
{
	struct lab_apply log[LOG_MAX];
	char text[96];
	int i, n = lab_read(log, LOG_MAX);

	if (n < 0) {
		snprintf(why, size, "a record of the log does not parse");
		return -1;
	}
	for (i = 0; i < n; i++) {
		if (log[i].channel != channel || !whole(&log[i].state)) {
			snprintf(why, size, "recorded ch%u %s", log[i].channel,
				 lab_describe(&log[i].state, text,
					      sizeof(text)));
			return -1;
		}
		if (i > 0 && log[i].seq != log[i - 1].seq + 1) {
			snprintf(why, size, "record %lu follows %lu",
				 log[i].seq, log[i - 1].seq);
			return -1;
		}
	}
	*entries += n;
	return n;
}

/* Samples the log until the workers' time is up (and some to spare). */
static void watch_log(double end, unsigned long *samples,
		      unsigned long *entries, char *why, size_t size)
{
	struct timespec pause = { 0, 200 * 1000 * 1000 };

	why[0] = '\0';
	while (now() < end) {
		if (!why[0] && sample_log(entries, why, size) >= 0)
			++*samples;
		nanosleep(&pause, NULL);
	}
}

/* Waits for the workers, at most until deadline; returns how many ended. */
static int reap(pid_t *pids, double deadline)
{
	int ended = 0, i, status;

	while (ended < WORKERS && now() < deadline) {
		for (i = 0; i < WORKERS; i++)
			if (pids[i] && waitpid(pids[i], &status, WNOHANG) > 0) {
				pids[i] = 0;
				ended++;
			}
		usleep(100 * 1000);
	}
	for (i = 0; i < WORKERS; i++)
		if (pids[i])
			kill(pids[i], SIGKILL);
	return ended;
}

static void check_end_state(const char *device)
{
	struct lab_apply log[LOG_MAX];
	struct lab_state s;
	char a[96], b[96];
	int fd = open(device, O_RDONLY), n = lab_read(log, LOG_MAX);

	if (fd < 0 || pwm_state(fd, &s) || n <= 0) {
		check(false,
		      "GET_STATE after the run shows the last state applied",
		      "no state or no log (%d records)", n);
	} else {
		check(lab_same(&s, &log[n - 1].state),
		      "GET_STATE after the run shows the last state applied",
		      "%s, last applied %s", lab_describe(&s, a, sizeof(a)),
		      lab_describe(&log[n - 1].state, b, sizeof(b)));
		printf("FIGURE pwm-stress: %lu applies recorded\n",
		       log[n - 1].seq + 1);
	}
	if (fd >= 0)
		close(fd);
}

static void report(struct tally *t, int ended, int seconds,
		   unsigned long samples, unsigned long entries,
		   const char *log_why)
{
	unsigned long commands = 0, gets = 0, bads = 0;
	const char *first = "";
	int i;

	for (i = 0; i < WORKERS; i++) {
		commands += t[i].commands;
		gets += t[i].gets;
		if (t[i].bad && !bads)
			first = t[i].first_bad;
		bads += t[i].bad;
	}
	check(ended == WORKERS, "4 processes all end (no deadlock)",
	      "%d of 4 ended within 60 s of the end", ended);
	check(bads == 0,
	      "every command answers as it may, every GET_STATE is whole",
	      "%lu bad answers, the first: %s", bads, first);
	check(!log_why[0] && samples > 0,
	      "the controller's log holds whole states only, without gaps",
	      "%s (%lu samples)", log_why[0] ? log_why : "never read", samples);
	printf("FIGURE pwm-stress: %lu commands (%lu GET_STATE) in %d s by 4 "
	       "processes, %lu log records sampled\n",
	       commands, gets, seconds, entries);
}

/*
 * Every state from the first command on is one the workers ask for: a PWM
 * that the controller reported with a period of 0 refuses every apply.
 */
static int start_whole(const char *device)
{
	int fd = open(device, O_RDWR), ret;

	if (fd < 0)
		return -1;
	ret = pwm_set_config(fd, pairs[0].duty, pairs[0].period);
	close(fd);
	return ret;
}

int pwm_stress(const char *device, unsigned int ch, int seconds)
{
	struct tally *t =
		mmap(NULL, WORKERS * sizeof(*t), PROT_READ | PROT_WRITE,
		     MAP_SHARED | MAP_ANONYMOUS, -1, 0);
	pid_t pids[WORKERS];
	unsigned long samples = 0, entries = 0;
	double end = now() + seconds;
	char log_why[160];
	int i, ended;

	channel = ch;
	if (t == MAP_FAILED || start_whole(device) || lab_clear())
		return 2;
	memset(t, 0, WORKERS * sizeof(*t));
	for (i = 0; i < WORKERS; i++) {
		pids[i] = fork();
		if (pids[i] == 0)
			worker(device, &t[i], i, end);
	}
	watch_log(end, &samples, &entries, log_why, sizeof(log_why));
	ended = reap(pids, end + 60);
	report(t, ended, seconds, samples, entries, log_why);
	if (ended == WORKERS)
		check_end_state(device);
	return check_failures() ? 1 : 0;
}
