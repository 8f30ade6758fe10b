/*
 * lab_record_read: how long one read of the boot-information record takes
 * inside a process that is already running, as in the guides: COUNT reads
 * through the upgrade service, the mean printed in milliseconds.
 */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "bsp_upgrade_inner.h"

static double seconds(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 50;
    if (count <= 0) {
        fputs("Usage: lab_record_read [COUNT]\n", stderr);
        return 2;
    }
    BOOT_INFO_S record;
    int failed = 0;
    const double t0 = seconds();
    for (int i = 0; i < count; i++) {
        failed += BSP_GetBootMode(&record) != 0;
    }
    const double t1 = seconds();
    printf("%.2f\n", (t1 - t0) * 1000.0 / count);
    return failed == 0 ? 0 : 1;
}
