/*
 * pwm_bench: the time of a full reconfiguration of a running PWM output
 * (period, duty cycle, enable), through one PWM_IOCTL_SET_CONFIG and one
 * PWM_IOCTL_ENABLE on /dev/pwm_ctrl against the writes of the kernel's sysfs
 * PWM interface (through files kept open, and opening a file per value as a
 * shell does), on another channel of the same controller. Also counts the
 * states the controller (the lab's labpwm) was given for each: applies, and
 * transient states (neither the old nor the new setting).
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include "labpwm_log.h"
#include "pwm_ioctl.h"

static const char usage[] = "Usage: pwm_bench [--clock time|instructions] DEVICE CONTROLLER PWMCHIP CHANNEL [COUNT]\n"
                            "\n"
                            "Reconfigures the output of DEVICE (/dev/pwm_ctrl) COUNT times (default\n"
                            "20000), alternating between two settings, then channel CHANNEL of PWMCHIP\n"
                            "(/sys/class/pwm/pwmchipN, exported here) through sysfs; CONTROLLER is the\n"
                            "sysfs folder of the labpwm controller whose log is read. Prints FIGURE lines.\n"
                            "--clock instructions: the clock counts instructions, one a nanosecond (an\n"
                            "emulator's instruction counting), and the figures say so.\n";

/* Figures in microseconds, or in instructions when the clock counts them. */
static int count_instructions;

static void print_cost(const char *what, double seconds)
{
    if (count_instructions)
        printf("%.0f instructions%s", seconds * 1e9, what);
    else
        printf("%.2f us%s", seconds * 1e6, what);
}

struct setting {
    int duty, period;
};

/* Two settings of a running output; B's period is below A's duty cycle. */
static const struct setting settings[2] = {{250000, 1000000}, {400000, 500000}};

/* One way to reconfigure; ctx is its open files. */
struct path {
    const char *name;
    int (*apply)(void *ctx, const struct setting *from, const struct setting *to);
    void *ctx;
    unsigned int channel;
};

struct sysfs_files {
    int period, duty, enable;
    char period_path[128], duty_path[128], enable_path[128];
};

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static int ioctl_apply(void *ctx, const struct setting *from, const struct setting *to)
{
    int fd = *(int *)ctx;
    struct pwm_ioctl_config cfg = {.duty_cycle = to->duty, .period = to->period};
    (void)from;
    if (ioctl(fd, PWM_IOCTL_SET_CONFIG, &cfg) || ioctl(fd, PWM_IOCTL_ENABLE))
        return -1;
    return 0;
}

static int write_number(int fd, int value)
{
    char text[16];
    int len = snprintf(text, sizeof(text), "%d\n", value);
    return pwrite(fd, text, len, 0) == len ? 0 : -1;
}

/* Through files kept open, the fastest use of sysfs. */
static int kept_write(const struct sysfs_files *f, int which, int value)
{
    return write_number(which == 0 ? f->period : which == 1 ? f->duty : f->enable, value);
}

/* Opening the file for each value, as a shell's echo does. */
static int opened_write(const struct sysfs_files *f, int which, int value)
{
    int fd = open(which == 0 ? f->period_path : which == 1 ? f->duty_path : f->enable_path, O_WRONLY);
    int ret = fd < 0 ? -1 : write_number(fd, value);
    if (fd >= 0)
        close(fd);
    return ret;
}

/*
 * The sysfs files take one value at a time and each write is applied, so the
 * order matters: the PWM core refuses a duty cycle above the period, so a
 * shorter period must wait until the duty cycle fits in it.
 */
static int sysfs_write(const struct sysfs_files *f, int (*put)(const struct sysfs_files *, int, int),
                       const struct setting *from, const struct setting *to)
{
    if (to->period >= from->duty) {
        if (put(f, 0, to->period) || put(f, 1, to->duty))
            return -1;
    } else if (put(f, 1, to->duty) || put(f, 0, to->period)) {
        return -1;
    }
    return put(f, 2, 1);
}

static int sysfs_apply(void *ctx, const struct setting *from, const struct setting *to)
{
    return sysfs_write(ctx, kept_write, from, to);
}

static int sysfs_open_apply(void *ctx, const struct setting *from, const struct setting *to)
{
    return sysfs_write(ctx, opened_write, from, to);
}

static int open_sysfs(const char *chip, unsigned int channel, struct sysfs_files *f)
{
    char path[256];
    int fd, tries;

    snprintf(path, sizeof(path), "%s/export", chip);
    fd = open(path, O_WRONLY);
    if (fd < 0 || write_number(fd, channel))
        fprintf(stderr, "pwm_bench: export of channel %u: %s\n", channel, strerror(errno));
    if (fd >= 0)
        close(fd);
    snprintf(f->enable_path, sizeof(f->enable_path), "%s/pwm%u/enable", chip, channel);
    snprintf(f->period_path, sizeof(f->period_path), "%s/pwm%u/period", chip, channel);
    snprintf(f->duty_path, sizeof(f->duty_path), "%s/pwm%u/duty_cycle", chip, channel);
    for (tries = 0; tries < 50 && access(f->enable_path, W_OK); tries++)
        usleep(100000);
    f->enable = open(f->enable_path, O_WRONLY);
    f->period = open(f->period_path, O_WRONLY);
    f->duty = open(f->duty_path, O_WRONLY);
    return f->enable < 0 || f->period < 0 || f->duty < 0 ? -1 : 0;
}

/* Reconfigurations from A to B and back, count in all; seconds taken or -1. */
static double run(const struct path *p, int count)
{
    double start = now();
    int i;
    for (i = 0; i < count; i++)
        if (p->apply(p->ctx, &settings[i % 2], &settings[(i + 1) % 2]))
            return -1;
    return now() - start;
}

/* Applies the controller recorded since the log was cleared. */
static long applies(void)
{
    struct lab_apply log[64];
    int n = lab_read(log, 64);
    return n > 0 ? (long)log[n - 1].seq + 1 : n;
}

/*
 * Reconfigures count times reading the log after each: states recorded that
 * are not the target setting are transient (the output showed them).
 */
static long transients(const struct path *p, int count)
{
    struct lab_apply log[64];
    long seen = 0;
    int i, j, n;
    for (i = 0; i < count; i++) {
        const struct setting *to = &settings[(i + 1) % 2];
        lab_clear();
        if (p->apply(p->ctx, &settings[i % 2], to))
            return -1;
        n = lab_read(log, 64);
        if (n <= 0 || (int)log[n - 1].state.duty != to->duty || (int)log[n - 1].state.period != to->period ||
            !log[n - 1].state.enabled)
            return -1;
        for (j = 0; j < n - 1; j++)
            seen += log[j].channel == p->channel;
    }
    return seen;
}

/*
 * Two commands that change nothing: the cost of the two system calls any
 * two-command path pays, against which the ioctl path's own work shows.
 */
static int measure_floor(int fd, int count, double by_ioctl)
{
    struct pwm_ioctl_status status;
    double start = now(), seconds;
    int i;
    for (i = 0; i < count; i++)
        if (ioctl(fd, PWM_IOCTL_GET_STATE, &status) || ioctl(fd, PWM_IOCTL_GET_STATE, &status))
            return -1;
    seconds = now() - start;
    printf("FIGURE pwm-bench floor: two PWM_IOCTL_GET_STATE, ");
    print_cost("; the ioctl path's work beyond its two system calls: ", seconds / count);
    print_cost("\n", (by_ioctl - seconds) / count);
    return 0;
}

static int measure(const struct path *p, int count, double *seconds)
{
    long total, passing;
    /* Start from setting A, running. */
    if (p->apply(p->ctx, &settings[1], &settings[0]) || lab_clear())
        return -1;
    *seconds = run(p, count);
    total = applies();
    passing = transients(p, 100);
    if (*seconds < 0 || total < 0 || passing < 0)
        return -1;
    printf("FIGURE pwm-bench %s: %d reconfigurations, ", p->name, count);
    print_cost(" each", *seconds / count);
    printf(", %.2f applies each, %ld transient states in 100 reconfigurations\n", (double)total / count, passing);
    return 0;
}

int main(int argc, char **argv)
{
    struct sysfs_files files;
    double by_ioctl, by_sysfs, by_echo;
    int fd, count;

    if (argc > 1 && !strcmp(argv[1], "--help")) {
        fputs(usage, stdout);
        return 0;
    }
    if (argc > 2 && !strcmp(argv[1], "--clock")) {
        if (strcmp(argv[2], "time") && strcmp(argv[2], "instructions")) {
            fputs(usage, stderr);
            return 2;
        }
        count_instructions = !strcmp(argv[2], "instructions");
        argv += 2;
        argc -= 2;
    }
    if (argc < 5 || argc > 6) {
        fputs(usage, stderr);
        return 2;
    }
    count = argc == 6 && atoi(argv[5]) > 0 ? atoi(argv[5]) : 20000;
    lab_controller(argv[2]);
    fd = open(argv[1], O_RDWR);
    if (fd < 0 || open_sysfs(argv[3], strtoul(argv[4], NULL, 0), &files)) {
        fprintf(stderr, "pwm_bench: cannot open %s or the sysfs files: %s\n", argv[1], strerror(errno));
        return 2;
    }
    struct path by_device = {"ioctl", ioctl_apply, &fd, 0};
    struct path by_files = {"sysfs, files kept open", sysfs_apply, &files, strtoul(argv[4], NULL, 0)};
    struct path by_opening = {"sysfs, a file opened per value", sysfs_open_apply, &files, by_files.channel};
    if (measure(&by_device, count, &by_ioctl) || measure(&by_files, count, &by_sysfs) ||
        measure(&by_opening, count, &by_echo) || measure_floor(fd, count, by_ioctl)) {
        fprintf(stderr, "pwm_bench: a reconfiguration failed: %s\n", strerror(errno));
        return 1;
    }
    printf("FIGURE pwm-bench: the ioctl path is %.2f times as fast as sysfs with files kept open, %.1f times as "
           "fast as sysfs opening a file per value (%s)\n",
           by_sysfs / by_ioctl, by_echo / by_ioctl, count_instructions ? "instructions counted" : "emulator time");
    return 0;
}
