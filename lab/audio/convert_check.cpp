// The conversion stage in the path: the host holds 1 channel at 16000 Hz,
// the library asks for 2 channels at 48000 Hz, finds no stream-status file
// and falls back to 1 channel at 16000 Hz; what it captures is converted to
// 48000 Hz and the tone measured.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "bsp_uac.h"
#include "bsp_uac_src.h"
#include "checks.h"
#include "host_side.h"
#include "report.h"
#include "tone.h"

namespace {

constexpr double kToneHz = 1000;
constexpr double kAmplitude = 16384;                                // half of full scale
const double kExpectedDbfs = 20 * std::log10(0.5 / std::sqrt(2.0)); // -9.03 dBFS
constexpr double kHzTolerance = 1;
constexpr double kDbTolerance = 0.5;
constexpr size_t kMinSamples = 48000 / 2;

void hostPlaysTone(HostStream &host, const std::atomic<bool> &stop)
{
    std::vector<int16_t> period(kPeriodFrames);
    uint64_t next = 0;
    while (!stop) {
        toneFill(period.data(), period.size(), next, kToneHz, 16000, kAmplitude);
        if (pcm_writei(host.get(), period.data(), kPeriodFrames) < 0) {
            return;
        }
        next += kPeriodFrames;
    }
}

// Captures `seconds` through the instance and converts it to 48000 Hz.
std::vector<int16_t> captureConverted(UAC_INSTANCE_S *instance, double seconds, UAC_SRC_S *src)
{
    const uint32_t block = XU_UAC_GetPcm_BufSize(instance->pCaptureHandle);
    // Converted in place: the buffer holds the block's output, three times
    // its input from 16000 to 48000 Hz.
    std::vector<int16_t> buffer(BSP_UacSrcGetCapacity(src, block) / sizeof(int16_t)), out;
    const size_t wanted = static_cast<size_t>(seconds * 48000);
    for (int failures = 0; out.size() < wanted && failures < 5;) {
        const int32_t got = BSP_UacGetFrame_m(instance, buffer.data(), static_cast<int32_t>(block));
        if (got <= 0) {
            failures++;
            continue;
        }
        const int32_t bytes = BSP_UacSrcProcess(src, buffer.data(), static_cast<uint32_t>(got));
        out.insert(out.end(), buffer.begin(), buffer.begin() + (bytes > 0 ? bytes / 2 : 0));
    }
    return out;
}

} // namespace

int checkConvert(const Args &args)
{
    const double seconds = args.empty() ? 2 : std::stod(args[0]);
    const int card = cardNumberOf("UAC1Gadget");
    HostStream play(card, 1, PCM_OUT, 1, 16000);
    reportCheck(play.ready() && play.hold(), "conversion: the host holds 1 ch 16000 Hz", play.error());
    UAC_INSTANCE_S instance{};
    instance.u8Card = static_cast<uint8_t>(card);
    UAC_STREAM_STAT_S request{2, 48000, 2, 48000}, report{};
    const int32_t result = BSP_UacInit_s(&instance, &request, &report);
    reportCheck(result == 0 && report.u32CaptureChannels == 1 && report.u32CaptureRate == 16000,
                "conversion: BSP_UacInit_s without a status file falls back to 1 ch 16000 Hz",
                "returned " + std::to_string(result) + ", capture " + std::to_string(report.u32CaptureChannels) +
                    " ch " + std::to_string(report.u32CaptureRate) + " Hz");
    if (result != 0) {
        return reportStatus();
    }
    UAC_SRC_S src{16000, 48000, 1, 0, nullptr, nullptr};
    reportCheck(BSP_UacSrcInit(&src) == 0, "conversion: BSP_UacSrcInit 16000 to 48000 Hz", "it returned -1");
    std::atomic<bool> stop{false};
    std::thread host([&] { hostPlaysTone(play, stop); });
    std::vector<int16_t> converted = captureConverted(&instance, seconds, &src);
    stop = true;
    host.join();
    BSP_UacSrcDeinit(&src);
    BSP_UacDeinit_m(&instance);
    // Measured on the longest stretch without a dropout: gaps in the stream
    // (an emulator under load) are the streaming checks' business, not the
    // conversion's. The converter's settling at the start is left out.
    const Stretch stretch = longestUnbroken(converted, 48000 / 10);
    const ToneMeasure m = measureTone(std::vector<int16_t>(converted.begin() + static_cast<long>(stretch.begin),
                                                           converted.begin() + static_cast<long>(stretch.end)),
                                      48000);
    char measured[160];
    std::snprintf(measured, sizeof(measured), "%.2f Hz, %.2f dBFS over %zu samples at 48000 Hz (%u dropouts)", m.hz,
                  m.dbfs, stretch.end - stretch.begin, stretch.dropouts);
    reportCheck(stretch.end - stretch.begin >= kMinSamples && std::fabs(m.hz - kToneHz) <= kHzTolerance &&
                    std::fabs(m.dbfs - kExpectedDbfs) <= kDbTolerance,
                "conversion: 1000 Hz at -9.03 dBFS arrives converted to 48000 Hz", measured);
    reportFigure(std::string("conversion 16000 -> 48000 Hz: ") + measured);
    return reportStatus();
}
