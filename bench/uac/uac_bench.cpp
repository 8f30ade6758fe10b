// Cost of libuacbridge's own work per call: the validity test and byte/frame
// conversion around each transfer, and the parsing of the stream-status file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bsp_uac.h"
#include "fake_tinyalsa.h"

namespace {

// The stream-status file the probe reads, served from memory: the benchmark
// is linked with --wrap=fopen, so the library's fopen comes here.
const char kStatusPath[] = "/proc/asound/card0/stream0";
std::string g_status_file;

} // namespace

extern "C" FILE *__real_fopen(const char *path, const char *mode);

extern "C" FILE *__wrap_fopen(const char *path, const char *mode)
{
    if (std::strcmp(path, kStatusPath) == 0) {
        return fmemopen(g_status_file.data(), g_status_file.size(), mode);
    }
    return __real_fopen(path, mode);
}

namespace {

UAC_HANDLE_S *openFake(uint32_t flags)
{
    UAC_CONFIG_S record{};
    XU_UAC_Config_m(&record, flags, 2, 48000, 1024, 4, 0);
    UAC_HANDLE_S *handle = nullptr;
    XU_UAC_Init(&handle, &record);
    return handle;
}

void BM_SendFrame(benchmark::State &state)
{
    fake_tinyalsa::reset();
    UAC_HANDLE_S *handle = openFake(PCM_OUT);
    std::vector<char> bytes(4096);
    UAC_FRAME_S frame{0, bytes.data(), 4096};
    for (auto _ : state) {
        benchmark::DoNotOptimize(XU_UAC_SendFrame(handle, &frame));
        fake_tinyalsa::state().transfer_count = 0;
    }
    XU_UAC_Uninit(handle);
}
BENCHMARK(BM_SendFrame);

void BM_GetFrame(benchmark::State &state)
{
    fake_tinyalsa::reset();
    UAC_HANDLE_S *handle = openFake(PCM_IN);
    std::vector<char> bytes(4096);
    UAC_FRAME_S frame{0, bytes.data(), 4096};
    for (auto _ : state) {
        benchmark::DoNotOptimize(XU_UAC_GetFrame(handle, &frame));
        fake_tinyalsa::state().transfer_count = 0;
    }
    XU_UAC_Uninit(handle);
}
BENCHMARK(BM_GetFrame);

void BM_GetValueRateLine(benchmark::State &state)
{
    const char *line = "    Rates: 8000, 16000, 48000\n";
    uint32_t rate = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(_BSP_UAC_GetValue(line, &rate, "Rate"));
    }
}
BENCHMARK(BM_GetValueRateLine);

// The whole probe of one direction, as a caller makes it: the file opened,
// walked and closed.
void BM_StatusFileWalk(benchmark::State &state)
{
    g_status_file = "UAC1_Gadget 0 at usb\n\nPlayback:\n  Status: Running\n  Interface = 1\n"
                    "  Altset = 1\n  Format: S16_LE\n  Channels: 2\n  Endpoint: 1 OUT (ASYNC)\n"
                    "  Rates: 48000\nCapture:\n  Status: Stop\n  Channels: 1\n  Rates: 16000\n";
    UAC_STREAM_STAT_S stat{};
    if (_BSP_UacGetCardStatus(0, 0, &stat) != 0 || stat.u32CaptureRate != 16000) {
        state.SkipWithError("the probe did not read the status file served from memory");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(_BSP_UacGetCardStatus(0, 0, &stat));
    }
}
BENCHMARK(BM_StatusFileWalk);

} // namespace
