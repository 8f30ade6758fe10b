// How long the guest went without running: a thread that sleeps 5 ms at a
// time and measures, on the guest's monotonic clock, how late it woke. Under
// the emulator in real time a host too busy to run the virtual CPU shows up
// here as a long late wake-up; the kernel's wait for a blocked reader or
// writer (100 ms for the lab's streams) runs out in such a gap, whoever the
// program is. Under the instruction counter (-icount) the guest's clock stops
// with the CPU and no gap shows.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "checks.h"

namespace {

constexpr double kSleepMs = 5;
constexpr double kReportedMs = 100;

volatile sig_atomic_t g_stop = 0;

void onStop(int)
{
    g_stop = 1;
}

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

} // namespace

int probeStalls(const Args &args)
{
    const double limit_ms = std::stod(args.at(0)) * 1e3;
    struct sigaction action {};
    action.sa_handler = onStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    const double started = nowMs();
    double longest = 0;
    int stalls = 0;
    while (!g_stop && nowMs() - started < limit_ms) {
        const double before = nowMs();
        usleep(static_cast<useconds_t>(kSleepMs * 1e3));
        const double late = nowMs() - before - kSleepMs;
        longest = late > longest ? late : longest;
        stalls += late >= kReportedMs ? 1 : 0;
    }
    std::printf("%d times (longest gap %.0f ms)\n", stalls, longest);
    return 0;
}
