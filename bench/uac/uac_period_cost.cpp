// What one period costs through libuacbridge against calling our tinyalsa
// directly: both over the same scripted kernel, so only user-space work
// differs. Run it under callgrind (scripts/bench-uac) for instruction counts;
// run natively it counts the heap allocations made per period.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bsp_uac.h"
#include "fake_kernel.h"
#include "period_paths.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);

namespace {

constexpr unsigned kPeriod = 1024;
constexpr unsigned kPeriodBytes = kPeriod * 4;
bool g_counting = false;
unsigned long g_allocations = 0;

// The scripted kernel, optionally copying each period as the real kernel's
// read and write do (copy_to_user/copy_from_user), so that the figure can be
// given with and without that work.
struct CopyingKernel {
    FakeKernel fake;
    pcm_kernel table{};
    bool copy = false;
    std::vector<char> ring = std::vector<char>(kPeriodBytes);

    CopyingKernel()
    {
        table = *fake.table();
        table.ctx = this;
        table.ioctl = [](void *ctx, int fd, unsigned long request, void *arg) {
            auto *self = static_cast<CopyingKernel *>(ctx);
            const int result = self->fake.table()->ioctl(self->fake.table()->ctx, fd, request, arg);
            if (self->copy && (request == SNDRV_PCM_IOCTL_WRITEI_FRAMES || request == SNDRV_PCM_IOCTL_READI_FRAMES)) {
                auto *x = static_cast<snd_xferi *>(arg);
                if (request == SNDRV_PCM_IOCTL_WRITEI_FRAMES) {
                    std::memcpy(self->ring.data(), x->buf, kPeriodBytes);
                } else {
                    std::memcpy(x->buf, self->ring.data(), kPeriodBytes);
                }
            }
            return result;
        };
    }
};

struct Setup {
    CopyingKernel kernel;
    UAC_CONFIG_S record{};
    UAC_HANDLE_S handle{};
    PeriodTarget target;
    std::vector<char> data = std::vector<char>(kPeriodBytes);

    Setup(bool capture, bool copy, unsigned periods)
    {
        kernel.copy = copy;
        // The scripted kernel records every call: room for them up front, so
        // that its bookkeeping is not counted as the library's allocations.
        kernel.fake.calls.reserve(4 * static_cast<size_t>(periods) + 64);
        const uint32_t flags = capture ? PCM_IN : PCM_OUT;
        XU_UAC_Config_m(&record, flags, 2, 48000, kPeriod, 4, 0);
        handle.magic = UAC_HANDLE_MAGIC;
        handle.uac_config = &record;
        handle.pcm = pcm_open_on(&kernel.table, 0, 0, flags, &record.config);
        target.attach(&handle, capture, data.data(), kPeriod, kPeriodBytes);
    }
    ~Setup() { pcm_close(handle.pcm); }
};

// One period per call, by the path asked for.
int onePeriod(Setup &s, bool capture, Path path)
{
    return transferPeriod(s.target, capture, path);
}

// The measured part: callgrind collects inside this function only.
__attribute__((noinline)) int runPeriods(Setup &s, bool capture, Path path, unsigned periods)
{
    int sum = 0;
    for (unsigned i = 0; i < periods; i++) {
        sum += onePeriod(s, capture, path);
    }
    return sum;
}

constexpr const char *kUsage = "usage: uac_period_cost [--copy] [--periods N] send|receive direct|stream|board\n"
                               "Transfers N periods (1024 stereo frames, default 10000) over a scripted kernel:\n"
                               "  direct  our tinyalsa's pcm_writei/pcm_readi\n"
                               "  stream  libuacbridge's XU_UAC_SendFrame/XU_UAC_GetFrame\n"
                               "  board   libuacbridge's BSP_UacSendFrame_m/BSP_UacGetFrame_m\n"
                               "  --copy  the scripted kernel copies each period, as the real one does\n"
                               "Prints the heap allocations made per period. Instruction counts: run under\n"
                               "valgrind --tool=callgrind --collect-atstart=no --toggle-collect=*runPeriods*\n";

} // namespace

// Counting allocator: every heap allocation the measured loop makes.
extern "C" void *malloc(size_t size)
{
    g_allocations += g_counting ? 1 : 0;
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t n, size_t size)
{
    g_allocations += g_counting ? 1 : 0;
    return __libc_calloc(n, size);
}

extern "C" void *realloc(void *ptr, size_t size)
{
    g_allocations += g_counting ? 1 : 0;
    return __libc_realloc(ptr, size);
}

int main(int argc, char **argv)
{
    bool copy = false;
    unsigned periods = 10000;
    std::vector<std::string> words;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--copy") {
            copy = true;
        } else if (arg == "--periods" && i + 1 < argc) {
            periods = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            words.push_back(arg);
        }
    }
    bool capture = false;
    Path path = Path::direct;
    if (words.size() != 2 || !directionFromName(words[0], &capture) || !pathFromName(words[1], &path)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Setup setup(capture, copy, periods);
    // The first transfer prepares (and starts) the stream: not a period's cost.
    runPeriods(setup, capture, Path::direct, 0);
    onePeriod(setup, capture, path);
    g_counting = true;
    const int sum = runPeriods(setup, capture, path, periods);
    g_counting = false;
    std::printf("%s %s: %u periods, %lu allocations (%g per period), result sum %d\n", words[0].c_str(),
                words[1].c_str(), periods, g_allocations, static_cast<double>(g_allocations) / periods, sum);
    return 0;
}
