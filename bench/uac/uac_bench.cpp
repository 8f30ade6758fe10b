// Cost of libuacbridge's own work per call: the validity test and byte/frame
// conversion around each transfer, and the parsing of the stream-status file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "board_internal.h"
#include "fake_tinyalsa.h"

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

void BM_StatusFileWalk(benchmark::State &state)
{
    std::string content = "UAC1_Gadget 0 at usb\n\nPlayback:\n  Status: Running\n  Interface = 1\n"
                          "  Altset = 1\n  Format: S16_LE\n  Channels: 2\n  Endpoint: 1 OUT (ASYNC)\n"
                          "  Rates: 48000\nCapture:\n  Status: Stop\n  Channels: 1\n  Rates: 16000\n";
    for (auto _ : state) {
        FILE *file = fmemopen(content.data(), content.size(), "rb");
        UAC_STREAM_STAT_S stat{};
        benchmark::DoNotOptimize(bspWalkStreamStatus(file, 0, &stat));
        std::fclose(file);
    }
}
BENCHMARK(BM_StatusFileWalk);

} // namespace
