// What one period costs on a real sound card, kernel included: the CPU time
// the calling thread spends per period, through libuacbridge or through our
// tinyalsa directly, linked as applications link them. In the device lab the
// emulator counts instructions as time (qemu -icount shift=0: one instruction
// a nanosecond), so the figure is the instructions executed per period in
// user space and in the kernel on the thread's behalf.
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "period_paths.h"

namespace {

constexpr unsigned kPeriod = 1024;
constexpr unsigned kPeriodBytes = kPeriod * 4;
// Enough periods to fill the ring and reach the steady state in which every
// transfer waits for the card.
constexpr unsigned kWarmup = 16;

constexpr const char *kUsage = "usage: uac_period_cpu [--fpu] CARD DEVICE send|receive direct|stream|board\n"
                               "                     [PERIODS [PAD]]\n"
                               "Streams PERIODS periods (1024 frames of 48 kHz stereo, default 2000) to or from\n"
                               "PCM device DEVICE of card CARD and prints the calling thread's CPU time per\n"
                               "period, in ns, and the waits (voluntary context switches) per period:\n"
                               "  direct  our tinyalsa's pcm_writei/pcm_readi\n"
                               "  stream  libuacbridge's XU_UAC_SendFrame/XU_UAC_GetFrame\n"
                               "  board   libuacbridge's BSP_UacSendFrame_m/BSP_UacGetFrame_m\n"
                               "PAD: a loop of PAD steps after each transfer, user-space work of the caller's own,\n"
                               "to see how the kernel's share moves when the calls come a little later.\n"
                               "--fpu: the caller uses the floating-point unit once per period, as one that scales,\n"
                               "mixes or copies its samples does (glibc's ARM memcpy of 8 bytes or more is NEON).\n";

// The calling thread's voluntary context switches so far: each one a wait
// in the kernel for room or data.
long threadWaits()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

double threadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A transfer that failed: tinyalsa's negative errno, the board layer's byte
// count of 0 for a read, the others' status -1.
bool failed(int result, Path path, bool capture)
{
    if (path == Path::board && capture) {
        return result <= 0;
    }
    return result < 0;
}

// Work of the caller's own between two transfers, kept by the compiler.
void pad(unsigned steps)
{
    for (unsigned i = 0; i < steps; i++) {
        asm volatile("" ::: "memory");
    }
}

// One floating-point operation of the caller's own. On 32-bit ARM the kernel
// hands the FPU over lazily: the first FPU instruction after each wait traps
// into the kernel, whoever executes it, the caller or its memcpy.
volatile float g_level = 1.0F;

void useFpu()
{
    g_level = g_level * 0.5F + 0.5F;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const bool fpu = argc > 1 && std::strcmp(argv[1], "--fpu") == 0;
    if (fpu) {
        argc--;
        argv++;
    }
    bool capture = false;
    Path path = Path::direct;
    if (argc < 5 || argc > 7 || !directionFromName(argv[3], &capture) || !pathFromName(argv[4], &path)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const unsigned periods = argc >= 6 ? static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)) : 2000;
    const unsigned pad_steps = argc == 7 ? static_cast<unsigned>(std::strtoul(argv[6], nullptr, 10)) : 0;

    UAC_CONFIG_S config{};
    config.card = static_cast<uint8_t>(std::atoi(argv[1]));
    config.device = static_cast<uint8_t>(std::atoi(argv[2]));
    XU_UAC_Config_m(&config, capture ? PCM_IN : PCM_OUT, 2, 48000, kPeriod, 4, PCM_FORMAT_S16_LE);
    UAC_HANDLE_S *handle = nullptr;
    if (XU_UAC_Init(&handle, &config) != 0) {
        std::fprintf(stderr, "uac_period_cpu: cannot open card %s device %s\n", argv[1], argv[2]);
        return 1;
    }
    std::vector<char> data(kPeriodBytes, 0);
    PeriodTarget target;
    target.attach(handle, capture, data.data(), kPeriod, kPeriodBytes);

    // The first transfers prepare and start the stream: not counted.
    for (unsigned i = 0; i < kWarmup; i++) {
        transferPeriod(target, capture, path);
    }
    int status = 0;
    const long waits = threadWaits();
    const double start = threadSeconds();
    for (unsigned i = 0; i < periods && status == 0; i++) {
        status = failed(transferPeriod(target, capture, path), path, capture) ? 1 : 0;
        pad(pad_steps);
        if (fpu) {
            useFpu();
        }
    }
    const double seconds = threadSeconds() - start;
    const long waited = threadWaits() - waits;
    if (status != 0) {
        std::fprintf(stderr, "uac_period_cpu: a transfer failed: %s\n", pcm_get_error(handle->pcm));
    }
    XU_UAC_Uninit(handle);
    if (status != 0) {
        return 1;
    }
    std::printf("%s %s %u %.0f %.3f\n", argv[3], argv[4], periods, seconds / periods * 1e9,
                static_cast<double>(waited) / periods);
    return 0;
}
