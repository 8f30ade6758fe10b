// SPDX-License-Identifier: GPL-2.0
#include "labpwm_log.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static char controller[256];

void lab_controller(const char *dir)
{
	snprintf(controller, sizeof(controller), "%s", dir);
}

static int write_attr(const char *name, const char *text)
{
	char path[320];
	ssize_t n;
	int fd;

	snprintf(path, sizeof(path), "%s/%s", controller, name);
	fd = open(path, O_WRONLY);
	if (fd < 0)
		return -1;
	n = write(fd, text, strlen(text));
	close(fd);
	return n == (ssize_t)strlen(text) ? 0 : -1;
}

int lab_clear(void)
{
	return write_attr("applies", "1\n");
}

int lab_fail_next(unsigned int channel, int err)
{
	char text[32];

	snprintf(text, sizeof(text), "%u %d\n", channel, err);
	return write_attr("fail_next", text);
}

int lab_round(unsigned long step)
{
	char text[32];

	snprintf(text, sizeof(text), "%lu\n", step);
	return write_attr("round_ns", text);
}

static int parse_line(const char *line, struct lab_apply *a)
{
	int used = 0;

	if (sscanf(line, "%lu ch%u period=%u duty=%u polarity=%u enabled=%u%n",
		   &a->seq, &a->channel, &a->state.period, &a->state.duty,
		   &a->state.polarity, &a->state.enabled, &used) != 6)
		return -1;
	return line[used] == '\0' ? 0 : -1;
}

/* One read() of a sysfs file returns the whole page the kernel filled. */
int lab_read(struct lab_apply *out, int max)
{
	char path[320], buf[8192], *line, *save;
	ssize_t len;
	int fd, n = 0;

	snprintf(path, sizeof(path), "%s/applies", controller);
	fd = open(path, O_RDONLY);
	if (fd < 0)
		return -1;
	len = read(fd, buf, sizeof(buf) - 1);
	close(fd);
	if (len < 0)
		return -1;
	buf[len] = '\0';
	for (line = strtok_r(buf, "\n", &save); line;
	     line = strtok_r(NULL, "\n", &save)) {
		if (n == max || parse_line(line, &out[n]))
			return -1;
		n++;
	}
	return n;
}

bool lab_same(const struct lab_state *a, const struct lab_state *b)
{
	return a->duty == b->duty && a->period == b->period &&
	       a->enabled == b->enabled && a->polarity == b->polarity;
}

const char *lab_describe(const struct lab_state *s, char *buf, size_t size)
{
	snprintf(buf, size, "duty=%u period=%u enabled=%u polarity=%u", s->duty,
		 s->period, s->enabled, s->polarity);
	return buf;
}
