// The real USB Audio Class 1 gadget (bound to USB/IP's virtual UDC) and the
// host-side card the kernel's USB audio driver made of it. No audio moves
// over this link; opening, refusing and probing are real.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bsp_uac.h"
#include "capture_output.h"
#include "checks.h"
#include "host_side.h"
#include "report.h"

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Whether both of the card's PCM streams have their parameters set (open).
bool streamsOpen(int card, bool open)
{
    for (const char *dir : {"p", "c"}) {
        const std::string params =
            readFile("/proc/asound/card" + std::to_string(card) + "/pcm0" + dir + "/sub0/hw_params");
        if ((params.rfind("closed", 0) != 0) != open) {
            return false;
        }
    }
    return true;
}

void checkOpenClose(int gadget)
{
    reportCheck(BSP_UacInit() == 0 && streamsOpen(gadget, true), "gadget: BSP_UacInit opens both streams",
                "not both open");
    reportCheck(BSP_UacDeinit() == 0 && streamsOpen(gadget, false), "gadget: BSP_UacDeinit closes both streams",
                "not both closed");
    UAC_INSTANCE_S instance{};
    instance.u8Card = static_cast<uint8_t>(gadget);
    reportCheck(BSP_UacInit_m(&instance) == 0 && instance.pPlaybackHandle != nullptr &&
                    instance.pCaptureHandle != nullptr && streamsOpen(gadget, true),
                "gadget: BSP_UacInit_m opens both streams", "not both open");
    reportCheck(BSP_UacDeinit_m(&instance) == 0 && streamsOpen(gadget, false),
                "gadget: BSP_UacDeinit_m closes both streams", "not both closed");
}

void checkRefusal(uint32_t flags, uint32_t channels, uint32_t rate, const std::string &name)
{
    UAC_CONFIG_S record{};
    XU_UAC_Config(&record, flags, channels, rate, 1024, 4, 0);
    UAC_HANDLE_S untouched{};
    UAC_HANDLE_S *handle = &untouched;
    CaptureStdout output;
    const int32_t result = XU_UAC_Init(&handle, &record);
    const std::string text = output.finish();
    const std::string expected = "XU_UAC_Init: cannot set hw params: Invalid argument \n";
    reportCheck(result == -1 && handle == &untouched && text == expected,
                "gadget: " + name + " refused by the kernel and reported",
                "returned " + std::to_string(result) + ", printed '" + text + "'");
}

void checkProbe(int host)
{
    for (int32_t direction : {1, 0}) {
        UAC_STREAM_STAT_S stat{};
        const int32_t result = _BSP_UacGetCardStatus(direction, host, &stat);
        const uint32_t channels = direction == 1 ? stat.u32PlaybackChannels : stat.u32CaptureChannels;
        const uint32_t rate = direction == 1 ? stat.u32PlaybackRate : stat.u32CaptureRate;
        reportCheck(result == 0 && channels == 2 && rate == 48000,
                    std::string("gadget: the probe reads the host card's ") +
                        (direction == 1 ? "playback" : "capture") + " section as 2 ch 48000 Hz",
                    "returned " + std::to_string(result) + ", " + std::to_string(channels) + " ch " +
                        std::to_string(rate) + " Hz");
    }
}

void checkAdaptiveInit(int gadget)
{
    UAC_INSTANCE_S instance{};
    instance.u8Card = static_cast<uint8_t>(gadget);
    UAC_STREAM_STAT_S request{1, 16000, 1, 16000}, report{};
    CaptureStdout output;
    const int32_t refused = BSP_UacInit_s(&instance, &request, &report);
    const std::string text = output.finish();
    const std::string missing = "file /proc/asound/card" + std::to_string(gadget) + "/stream0 not exist!";
    reportCheck(refused == -1 && instance.pPlaybackHandle == nullptr && instance.pCaptureHandle == nullptr &&
                    instance.bInitialised == 0,
                "gadget: BSP_UacInit_s for 1 ch 16000 Hz fails, nothing left open",
                "returned " + std::to_string(refused));
    reportCheck(
        text.find(missing) != std::string::npos && text.find("XU_UAC_Init PCM_IN Reconfig") != std::string::npos,
        "gadget: BSP_UacInit_s found no stream0 and tried the 1 ch 16000 Hz fallback", "printed '" + text + "'");
    request = UAC_STREAM_STAT_S{2, 48000, 2, 48000};
    reportCheck(BSP_UacInit_s(&instance, &request, &report) == 0 && instance.pPlaybackHandle != nullptr &&
                    instance.pCaptureHandle != nullptr && streamsOpen(gadget, true),
                "gadget: BSP_UacInit_s for 2 ch 48000 Hz opens both streams", "not both open");
    reportCheck(BSP_UacDeinit_m(&instance) == 0 && streamsOpen(gadget, false), "gadget: BSP_UacDeinit_m after it",
                "not both closed");
}

} // namespace

int checkGadget(const Args &args)
{
    const int gadget = cardNumberOf("UAC1Gadget");
    const int host = cardNumberOf(args.empty() ? "LabAudio" : args[0]);
    UAC_CONFIG_S record{};
    {
        CaptureStdout quiet;
        XU_UAC_Config(&record, PCM_OUT, 2, 48000, 1024, 4, 0);
    }
    reportCheck(gadget >= 0 && record.card == gadget, "gadget: XU_UAC_Config finds the gadget card",
                "card " + std::to_string(record.card) + ", listed as " + std::to_string(gadget));
    checkOpenClose(gadget);
    checkRefusal(PCM_OUT, 1, 48000, "playback in 1 ch 48000 Hz");
    checkRefusal(PCM_IN, 2, 16000, "capture in 2 ch 16000 Hz");
    checkProbe(host);
    checkAdaptiveInit(gadget);
    return reportStatus();
}
