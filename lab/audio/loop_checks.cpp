// Data through the loopback card: the global flavour's streams, the
// self-adapting initialisation, and the card going away under a stream.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bsp_uac.h"
#include "checks.h"
#include "duplex.h"
#include "report.h"

namespace {

const char *kCardId = "UAC1Gadget";
constexpr double kWarmUpSeconds = 1;

LibraryTransfers globalTransfers()
{
    return LibraryTransfers{
        [](void *data, unsigned bytes) {
            UAC_AUDIO_FRAME_S frame{};
            frame.pData = data;
            frame.u32Len = bytes;
            return BSP_UacSendFrame(frame) == 0 ? 0 : -1;
        },
        [](void *data, unsigned bytes) { return BSP_UacGetFrame(data, static_cast<int32_t>(bytes)); }};
}

LibraryTransfers instanceTransfers(UAC_INSTANCE_S *instance)
{
    return LibraryTransfers{[instance](void *data, unsigned bytes) {
                                UAC_AUDIO_FRAME_S frame{};
                                frame.pData = data;
                                frame.u32Len = bytes;
                                return BSP_UacSendFrame_m(instance, frame) == 0 ? 0 : -1;
                            },
                            [instance](void *data, unsigned bytes) {
                                return BSP_UacGetFrame_m(instance, data, static_cast<int32_t>(bytes));
                            }};
}

// Both directions intact; prefix names the checks.
bool streamBoth(const std::string &prefix, const LibraryTransfers &library, int card, double seconds)
{
    HostStream play(card, 1, PCM_OUT, 2, 48000), capture(card, 1, PCM_IN, 2, 48000);
    if (!play.ready() || !capture.ready()) {
        reportCheck(false, prefix + ": the host side opens device 1", play.error() + " / " + capture.error());
        return false;
    }
    // Code run for the first time is translated first under the emulator,
    // which stalls the threads playing the host's part: a short stream that
    // is not judged comes first.
    const DuplexResult warm_up = runDuplex(library, play, capture, kWarmUpSeconds);
    const DuplexResult r = runDuplex(library, play, capture, seconds, 1);
    reportCheck(r.to_host_intact, prefix + ": library to host intact after the first period", r.to_host);
    reportCheck(r.from_host_intact, prefix + ": host to library intact after the first period", r.from_host);
    char figure[300];
    std::snprintf(figure, sizeof(figure), "%s: %.0f s of 48 kHz stereo each way took %.1f s", prefix.c_str(), seconds,
                  r.seconds);
    reportFigure(figure);
    // The host writes blocking; a write the kernel's wait ended (EIO) is
    // offered again, and the frame check above shows that nothing was lost.
    std::snprintf(figure, sizeof(figure), "%s: host's blocking writes failed and offered again: %u (warm-up %u)%s%s",
                  prefix.c_str(), r.host_failed_writes, warm_up.host_failed_writes,
                  r.host_write_error.empty() ? "" : ", the last: ", r.host_write_error.c_str());
    reportFigure(figure);
    return r.to_host_intact && r.from_host_intact;
}

bool stillListed()
{
    return cardNumberOf(kCardId) >= 0;
}

bool waitForCard(bool present)
{
    for (int i = 0; i < 100 && stillListed() != present; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return stillListed() == present;
}

bool writeSysfs(const std::string &path, const std::string &value)
{
    std::ofstream file(path);
    file << value;
    file.flush();
    return file.good();
}

} // namespace

int checkStream(const Args &args)
{
    const double seconds = args.empty() ? 5 : std::stod(args[0]);
    const int card = cardNumberOf(kCardId);
    reportCheck(BSP_UacInit() == 0, "BSP_UacInit on the loopback card", "it returned -1");
    streamBoth("BSP_Uac global streams", globalTransfers(), card, seconds);
    reportCheck(BSP_UacDeinit() == 0, "BSP_UacDeinit after streaming", "it returned -1");
    return reportStatus();
}

int checkAdapt(const Args &args)
{
    if (args.size() != 9) {
        std::fprintf(stderr, "adapt: 9 arguments\n");
        return 2;
    }
    const std::string label = "BSP_UacInit_s, " + args[0];
    auto n = [&](size_t i) { return static_cast<uint32_t>(std::stoul(args[i])); };
    const int card = cardNumberOf(kCardId);
    UAC_INSTANCE_S instance{};
    instance.u8Card = static_cast<uint8_t>(card);
    UAC_STREAM_STAT_S request{n(3), n(4), n(3), n(4)}, report{};
    int32_t result = 0;
    {
        // The host holds its format on both streams of device 1.
        HostStream play(card, 1, PCM_OUT, n(1), n(2)), capture(card, 1, PCM_IN, n(1), n(2));
        reportCheck(play.ready() && capture.ready() && play.hold() && capture.hold(),
                    label + ": the host holds " + args[1] + " ch " + args[2] + " Hz",
                    play.error() + " / " + capture.error());
        result = BSP_UacInit_s(&instance, &request, &report);
    }
    reportCheck(result == std::stoi(args[5]), label + ": returns " + args[5], "it returned " + std::to_string(result));
    if (result != 0) {
        return reportStatus();
    }
    const std::string wanted = args[6] + " ch " + args[7] + " Hz";
    reportCheck(report.u32CaptureChannels == n(6) && report.u32CaptureRate == n(7),
                label + ": capture opened in " + wanted,
                "report says " + std::to_string(report.u32CaptureChannels) + " ch " +
                    std::to_string(report.u32CaptureRate) + " Hz");
    reportCheck(instance.pPlaybackHandle != nullptr && report.u32PlaybackChannels == n(6) &&
                    report.u32PlaybackRate == n(7),
                label + ": playback opened in " + wanted, "no playback stream in that format");
    if (std::stod(args[8]) > 0) {
        streamBoth(label, instanceTransfers(&instance), card, std::stod(args[8]));
    }
    reportCheck(BSP_UacDeinit_m(&instance) == 0, label + ": BSP_UacDeinit_m", "it returned -1");
    return reportStatus();
}

int checkVanish(const Args &args)
{
    if (args.size() != 2) {
        std::fprintf(stderr, "vanish: DRIVER_DIR DEVICE\n");
        return 2;
    }
    const std::string driver = args[0], device = args[1];
    std::vector<char> period(4096);
    UAC_AUDIO_FRAME_S frame{};
    frame.pData = period.data();
    frame.u32Len = static_cast<uint32_t>(period.size());
    reportCheck(BSP_UacInit() == 0, "card removal: BSP_UacInit", "it returned -1");
    for (int i = 0; i < 20; i++) {
        BSP_UacGetFrame(period.data(), static_cast<int32_t>(period.size()));
        BSP_UacSendFrame(frame);
    }
    // Unbinding frees the card, which waits until its files are closed: the
    // unbind runs aside while the streams are still open.
    std::thread unbind([&] { writeSysfs(driver + "/unbind", device); });
    const bool gone = waitForCard(false);
    reportCheck(gone, "card removal: the card leaves /proc/asound/cards", "it is still listed");
    const int32_t sent = BSP_UacSendFrame(frame);
    const int32_t got = BSP_UacGetFrame(period.data(), static_cast<int32_t>(period.size()));
    reportCheck(sent == -1, "card removal: BSP_UacSendFrame fails with -1", "it returned " + std::to_string(sent));
    reportCheck(got <= 0, "card removal: BSP_UacGetFrame reads nothing (0)", "it returned " + std::to_string(got));
    BSP_UacDeinit();
    unbind.join();
    reportCheck(writeSysfs(driver + "/bind", device) && waitForCard(true), "card removal: the card comes back",
                "binding " + device + " failed");
    reportCheck(BSP_UacInit() == 0, "card removal: BSP_UacInit once the card is back", "it returned -1");
    // A read can time out while the emulator stalls the clock: a few tries.
    int32_t read = 0;
    int tries = 0;
    while (read <= 0 && tries++ < 3) {
        read = BSP_UacGetFrame(period.data(), static_cast<int32_t>(period.size()));
    }
    reportCheck(read == static_cast<int32_t>(period.size()), "card removal: the new capture stream reads a period",
                "BSP_UacGetFrame returned " + std::to_string(read) + " (3 tries)");
    reportCheck(BSP_UacSendFrame(frame) == 0, "card removal: the new playback stream takes a period",
                "BSP_UacSendFrame returned -1");
    reportCheck(BSP_UacDeinit() == 0, "card removal: BSP_UacDeinit", "it returned -1");
    return reportStatus();
}
