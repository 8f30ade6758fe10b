// Self-adapting initialisation: open the streams with the formats the caller
// asks for, else with what the USB host selected, else (capture only) with a
// fixed 1-channel 16000 Hz format.
#include "board_internal.h"

namespace {

constexpr int32_t kProbePlayback = 1;
constexpr int32_t kProbeCapture = 0;
constexpr uint32_t kAdaptivePeriodSize = 1024;
constexpr uint32_t kFallbackChannels = 1;
constexpr uint32_t kFallbackRate = 16000;

struct Attempt {
    UAC_INSTANCE_S *instance;
    UAC_CONFIG_S *record; // card and device set once; the rest refilled per attempt
    UAC_STREAM_STAT_S *report;
};

// One open; the period count is twice the channel count, so one read of the
// buffer size in bytes is exactly one period.
int32_t attemptOpen(const Attempt &a, UAC_HANDLE_S **slot, uint32_t flags, uint32_t channels, uint32_t rate)
{
    XU_UAC_Config_m(a.record, flags, channels, rate, kAdaptivePeriodSize, 2 * channels, 0);
    return XU_UAC_Init(slot, a.record);
}

int32_t probe(const Attempt &a, int32_t direction)
{
    return _BSP_UacGetCardStatus(direction, a.instance->u8Card, a.report);
}

// Playback is optional; true when a stream was opened.
bool openPlayback(const Attempt &a, const UAC_STREAM_STAT_S &request)
{
    UAC_HANDLE_S **slot = &a.instance->pPlaybackHandle;
    if (attemptOpen(a, slot, PCM_OUT, request.u32PlaybackChannels, request.u32PlaybackRate) >= 0) {
        return true;
    }
    if (probe(a, kProbePlayback) == -1) {
        return false;
    }
    const int32_t result = attemptOpen(a, slot, PCM_OUT, a.report->u32PlaybackChannels, a.report->u32PlaybackRate);
    if (result < 0) {
        bspReportOpenFailure("XU_UAC_Init PCM_OUT failed", result);
        return false;
    }
    return true;
}

// True when a capture stream was opened; the report then describes it.
bool openCapture(const Attempt &a, const UAC_STREAM_STAT_S &request)
{
    UAC_HANDLE_S **slot = &a.instance->pCaptureHandle;
    if (attemptOpen(a, slot, PCM_IN, request.u32CaptureChannels, request.u32CaptureRate) >= 0) {
        return true;
    }
    if (probe(a, kProbeCapture) == -1) {
        const int32_t result = attemptOpen(a, slot, PCM_IN, kFallbackChannels, kFallbackRate);
        bspReportOpenFailure("XU_UAC_Init PCM_IN Reconfig", result);
        if (result >= 0) {
            a.report->u32CaptureChannels = kFallbackChannels;
            a.report->u32CaptureRate = kFallbackRate;
            return true;
        }
    }
    // The status file is read afresh: this reading decides.
    if (probe(a, kProbeCapture) == -1) {
        return false;
    }
    const int32_t result = attemptOpen(a, slot, PCM_IN, a.report->u32CaptureChannels, a.report->u32CaptureRate);
    if (result < 0) {
        bspReportOpenFailure("XU_UAC_Init PCM_IN failed", result);
        return false;
    }
    return true;
}

} // namespace

extern "C" int32_t BSP_UacInit_s(UAC_INSTANCE_S *pstInstance, UAC_STREAM_STAT_S *pstRequest,
                                 UAC_STREAM_STAT_S *pstReport)
{
    if (pstInstance->bInitialised != 0) {
        return 0;
    }
    const UAC_STREAM_STAT_S request = *pstRequest;
    *pstReport = request;
    UAC_CONFIG_S record{};
    record.card = pstInstance->u8Card;
    record.device = pstInstance->u8Device;
    const Attempt attempt{pstInstance, &record, pstReport};

    bool playback_opened = false;
    if (request.u32PlaybackChannels != 0 && request.u32PlaybackRate != 0) {
        playback_opened = openPlayback(attempt, request);
    }
    if (!openCapture(attempt, request)) {
        // Without capture the instance stays uninitialised, and its de-init
        // closes nothing: give the playback stream back now, so nothing leaks
        // and a later call does not open over a live handle.
        if (playback_opened) {
            XU_UAC_Uninit(pstInstance->pPlaybackHandle);
            pstInstance->pPlaybackHandle = nullptr;
        }
        return -1;
    }
    pstInstance->bInitialised = 1;
    return 0;
}
