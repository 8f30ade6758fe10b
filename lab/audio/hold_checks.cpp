// A stream held by one instance: a second opener fails at once instead of
// waiting for it, and the holder streams on; and the holder's streams across
// a system suspend (devices suspended and resumed under them).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bsp_uac.h"
#include "checks.h"
#include "host_side.h"
#include "report.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Periods both ways through the instance; the number that went through.
int streamPeriods(UAC_INSTANCE_S *instance, int periods, std::vector<char> &buffer)
{
    UAC_AUDIO_FRAME_S frame{};
    frame.pData = buffer.data();
    frame.u32Len = static_cast<uint32_t>(buffer.size());
    int moved = 0;
    for (int i = 0; i < periods; i++) {
        const bool sent = BSP_UacSendFrame_m(instance, frame) == 0;
        const bool got = BSP_UacGetFrame_m(instance, buffer.data(), static_cast<int32_t>(buffer.size())) ==
                         static_cast<int32_t>(buffer.size());
        moved += sent && got ? 1 : 0;
    }
    return moved;
}

std::string firstLine(const std::string &path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

bool writeFile(const std::string &path, const std::string &value)
{
    std::ofstream file(path);
    file << value << std::flush;
    return static_cast<bool>(file);
}

} // namespace

int checkBusy(const Args &)
{
    const int card = cardNumberOf("UAC1Gadget");
    std::vector<char> period(4096);
    UAC_INSTANCE_S holder{};
    holder.u8Card = static_cast<uint8_t>(card);
    reportCheck(BSP_UacInit_m(&holder) == 0 && holder.pCaptureHandle != nullptr, "busy: the holder opens both streams",
                "BSP_UacInit_m failed");
    reportCheck(streamPeriods(&holder, 5, period) == 5, "busy: the holder streams", "periods were lost");

    // Every opener of the held streams, blocking ones included.
    struct Opener {
        const char *what;
        uint32_t flags;
    } openers[] = {
        {"blocking playback", PCM_OUT}, {"blocking capture", PCM_IN}, {"non-blocking playback", PCM_NONBLOCK}};
    for (const Opener &o : openers) {
        UAC_CONFIG_S config{};
        config.card = static_cast<uint8_t>(card);
        XU_UAC_Config_m(&config, o.flags, 2, 48000, 1024, 4, 0);
        UAC_HANDLE_S *handle = nullptr;
        const auto start = Clock::now();
        const int32_t result = XU_UAC_Init(&handle, &config);
        const double took = secondsSince(start);
        char why[96];
        std::snprintf(why, sizeof(why), "XU_UAC_Init returned %d after %.3f s", result, took);
        reportCheck(result == -1 && handle == nullptr && took < 1.0,
                    std::string("busy: a second ") + o.what + " open fails within a second", why);
    }
    UAC_INSTANCE_S second{};
    second.u8Card = static_cast<uint8_t>(card);
    const auto start = Clock::now();
    const int32_t result = BSP_UacInit_m(&second);
    char why[96];
    std::snprintf(why, sizeof(why), "BSP_UacInit_m returned %d after %.3f s", result, secondsSince(start));
    reportCheck(result == -1 && second.bInitialised == 0 && secondsSince(start) < 1.0,
                "busy: a second BSP_UacInit_m fails within a second", why);

    reportCheck(streamPeriods(&holder, 20, period) == 20, "busy: the holder streams on afterwards",
                "periods were lost");
    reportCheck(BSP_UacDeinit_m(&holder) == 0, "busy: the holder closes", "BSP_UacDeinit_m failed");
    reportCheck(BSP_UacInit_m(&second) == 0, "busy: once let go, the streams open", "BSP_UacInit_m failed");
    BSP_UacDeinit_m(&second);
    return reportStatus();
}

// The system suspends with the streams open (pm_test "devices": every device
// is suspended and resumed, without sleeping). The library's transfers then
// find the streams suspended: they resume them where the driver can, or
// prepare them again, and the same handles stream on.
int checkSuspend(const Args &)
{
    if (firstLine("/sys/power/pm_test").empty()) {
        reportFigure("suspend: no /sys/power/pm_test in this kernel; not tried");
        return reportStatus();
    }
    const int card = cardNumberOf("UAC1Gadget");
    std::vector<char> period(4096);
    UAC_INSTANCE_S instance{};
    instance.u8Card = static_cast<uint8_t>(card);
    reportCheck(BSP_UacInit_m(&instance) == 0 && instance.pCaptureHandle != nullptr, "suspend: the streams open",
                "BSP_UacInit_m failed");
    // A read can time out while a loaded emulator stalls the clock: the
    // streams only need to be running here.
    const int before = streamPeriods(&instance, 5, period);
    reportCheck(before > 0, "suspend: the streams run", "no period went through");
    reportFigure("suspend: " + std::to_string(before) + " of 5 periods both ways before the suspend");

    // The test level holds the suspended devices in a busy wait, 5 s by
    // default: long enough under a loaded emulator for the soft-lockup
    // watchdog to complain. No wait is needed here.
    const std::string delay_path = "/sys/module/suspend/parameters/pm_test_delay";
    const std::string delay = firstLine(delay_path);
    if (!delay.empty()) {
        writeFile(delay_path, "0");
    }
    const bool suspended = writeFile("/sys/power/pm_test", "devices") && writeFile("/sys/power/state", "freeze");
    writeFile("/sys/power/pm_test", "none");
    if (!delay.empty()) {
        writeFile(delay_path, delay);
    }
    const std::string base = "/proc/asound/card" + std::to_string(card) + "/pcm0";
    std::string states;
    for (const char *dir : {"p", "c"}) {
        std::ifstream status(base + dir + "/sub0/status");
        std::string line;
        std::getline(status, line);
        states += std::string(dir) + ": " + line + "; ";
    }
    reportCheck(suspended, "suspend: the devices were suspended and resumed", "writing /sys/power/state failed");
    reportFigure("suspend: after the resume, " + states);

    // The first transfer of each direction may report the suspend (a driver
    // without resume); the ones after it must stream.
    UAC_AUDIO_FRAME_S frame{};
    frame.pData = period.data();
    frame.u32Len = static_cast<uint32_t>(period.size());
    const int32_t first_send = BSP_UacSendFrame_m(&instance, frame);
    const int32_t first_get = BSP_UacGetFrame_m(&instance, period.data(), static_cast<int32_t>(period.size()));
    reportFigure("suspend: first send " + std::to_string(first_send) + ", first receive " + std::to_string(first_get) +
                 " (0 and 4096: resumed in the call; -1 and 0: reported, prepared by the next)");
    const int moved = streamPeriods(&instance, 20, period);
    reportCheck(moved == 20, "suspend: the same handles stream after the resume",
                std::to_string(moved) + " of 20 periods went through");
    reportCheck(BSP_UacDeinit_m(&instance) == 0, "suspend: the streams close", "BSP_UacDeinit_m failed");
    return reportStatus();
}
