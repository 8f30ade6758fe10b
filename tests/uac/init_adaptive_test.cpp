// BSP_UacInit_s: the order of its attempts and probes, its messages and the
// report it leaves, against the fake tinyalsa and stream-status files of a
// fake /proc (card 1).
#include <gtest/gtest.h>

#include <algorithm>

#include "bsp_uac.h"
#include "fake_tinyalsa.h"
#include "uac_test_support.h"

using fake_tinyalsa::state;

namespace {

constexpr const char *kStatusPath = "/proc/asound/card1/stream0";

// "p2/48000" or "c1/16000": direction, channels and rate of an open.
std::string key_of(const fake_tinyalsa::OpenCall &call)
{
    return std::string((call.flags & PCM_IN) ? "c" : "p") + std::to_string(call.config.channels) + "/" +
           std::to_string(call.config.rate);
}

struct Scenario {
    std::string status_file;           // empty: the card has no status file
    std::vector<std::string> accepted; // opens the card takes
    UAC_STREAM_STAT_S request;
    std::string rewrite_on = {}; // when this open is tried, the status file becomes...
    std::string rewritten = {};  // ...this (the host changed its selection)
};

std::string stat_text(const UAC_STREAM_STAT_S &s)
{
    return std::to_string(s.u32PlaybackChannels) + "/" + std::to_string(s.u32PlaybackRate) + "/" +
           std::to_string(s.u32CaptureChannels) + "/" + std::to_string(s.u32CaptureRate);
}

// Every open tried, in order: key, period count, "!" when refused, "-" when closed by now.
std::string opens_text()
{
    std::string out;
    for (const fake_tinyalsa::Stream &s : state().streams) {
        out += key_of(s.open) + "x" + std::to_string(s.open.config.period_count) + (s.ready ? "" : "!") +
               (s.ready && s.closed ? "-" : "") + " ";
    }
    return out;
}

std::string call_once(UAC_INSTANCE_S &instance, const Scenario &s)
{
    UAC_STREAM_STAT_S request = s.request;
    UAC_STREAM_STAT_S report{0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
    CaptureFd out(1);
    const int32_t result = BSP_UacInit_s(&instance, &request, &report);
    const std::string printed = out.finish();
    return "result=" + std::to_string(result) + " init=" + std::to_string(instance.bInitialised) +
           " pb=" + (instance.pPlaybackHandle ? "set" : "null") + " cap=" + (instance.pCaptureHandle ? "set" : "null") +
           " report=" + stat_text(report) + " request=" + stat_text(request) + "\n[" + printed + "]\n";
}

// Runs BSP_UacInit_s on a fresh instance of card 1 in a child process.
std::string run_scenario(const Scenario &s, int calls = 1)
{
    ProcFiles files{{"asound/cards", " 1 [UAC1Gadget     ]: UAC1_Gadget\n"}};
    if (!s.status_file.empty()) {
        files.emplace_back("asound/card1/stream0", s.status_file);
    }
    const ProcRun run = run_with_proc(files, [&](FakeProcFiles &proc) {
        fake_tinyalsa::reset();
        state().accept = [&s, &proc](const fake_tinyalsa::OpenCall &call) {
            const std::string key = key_of(call);
            if (key == s.rewrite_on) {
                proc.set(kStatusPath, s.rewritten);
            }
            return std::find(s.accepted.begin(), s.accepted.end(), key) != s.accepted.end();
        };
        UAC_INSTANCE_S instance{};
        instance.u8Card = 1;
        std::string log;
        for (int i = 0; i < calls; i++) {
            log += call_once(instance, s);
        }
        log += "opens=" + opens_text() + "live=" + std::to_string(fake_tinyalsa::open_stream_count());
        BSP_UacDeinit_m(&instance);
        return log;
    });
    return run.output;
}

std::string refused(const char *node)
{
    return std::string("XU_UAC_Init: cannot open device '/dev/snd/pcmC1D0") + node + "': No such file or directory \n";
}

const std::string kNoFile = "file /proc/asound/card1/stream0 not exist!\n";
const std::string kStatus2x48000Both =
    "Playback:\n Channels: 2\n Rates: 48000\nCapture:\n Channels: 2\n Rates: 48000\n";

} // namespace

TEST(AdaptiveInitTest, AttemptsProbesAndReportsInTheirStrictOrder)
{
    struct Case {
        const char *what;
        Scenario scenario;
        std::string log;
    };
    const UAC_STREAM_STAT_S req2x48_1x16{2, 48000, 1, 16000};
    const Case cases[] = {
        {"the card takes the request: no status file read",
         {"", {"p2/48000", "c1/16000"}, req2x48_1x16},
         "result=0 init=1 pb=set cap=set report=2/48000/1/16000 request=2/48000/1/16000\n[]\n"
         "opens=p2/48000x4 c1/16000x2 live=2"},
        {"no playback requested: neither opened nor probed",
         {"Playback:\n Channels: 6\n", {"c2/48000"}, {0, 48000, 2, 48000}},
         "result=0 init=1 pb=null cap=set report=0/48000/2/48000 request=0/48000/2/48000\n[]\n"
         "opens=c2/48000x4 live=1"},
        {"no playback rate requested",
         {"", {"c2/48000"}, {2, 0, 2, 48000}},
         "result=0 init=1 pb=null cap=set report=2/0/2/48000 request=2/0/2/48000\n[]\nopens=c2/48000x4 live=1"},
        {"host selected 2 x 48000 for capture",
         {kStatus2x48000Both, {"p2/48000", "c2/48000"}, req2x48_1x16},
         "result=0 init=1 pb=set cap=set report=2/48000/2/48000 request=2/48000/1/16000\n[" + refused("c") +
             "]\nopens=p2/48000x4 c1/16000x2! c2/48000x4 live=2"},
        {"no status file: the fixed capture format",
         {"", {"c1/16000"}, {0, 0, 2, 32000}},
         "result=0 init=1 pb=null cap=set report=0/0/1/16000 request=0/0/2/32000\n[" + refused("c") + kNoFile +
             "XU_UAC_Init PCM_IN Reconfig. s32Ret =0 \n]\nopens=c2/32000x4! c1/16000x2 live=1"},
        {"no capture requested still opens capture",
         {"", {"c1/16000"}, {0, 0, 0, 0}},
         "result=0 init=1 pb=null cap=set report=0/0/1/16000 request=0/0/0/0\n[" + refused("c") + kNoFile +
             "XU_UAC_Init PCM_IN Reconfig. s32Ret =0 \n]\nopens=c0/0x0! c1/16000x2 live=1"},
        {"capture, fixed attempt and probe all fail; the playback opened is given back",
         {"", {"p2/48000"}, {2, 48000, 2, 48000}},
         "result=-1 init=0 pb=null cap=null report=2/48000/2/48000 request=2/48000/2/48000\n[" + refused("c") +
             kNoFile + refused("c") + "XU_UAC_Init PCM_IN Reconfig. s32Ret =ffffffff \n" + kNoFile +
             "]\nopens=p2/48000x4- c2/48000x4! c1/16000x2! live=0"},
        {"capture section without a rate: the last probe's findings are reported",
         {"Capture:\n Channels: 2\n", {}, {0, 0, 2, 48000}},
         "result=-1 init=0 pb=null cap=null report=0/0/2/0 request=0/0/2/48000\n[" + refused("c") +
             "Capture status not support!\n" + refused("c") + "XU_UAC_Init PCM_IN Reconfig. s32Ret =ffffffff \n" +
             "Capture status not support!\n]\nopens=c2/48000x4! c1/16000x2! live=0"},
        {"the probed capture format refused too",
         {kStatus2x48000Both, {"p2/48000"}, req2x48_1x16},
         "result=-1 init=0 pb=null cap=null report=2/48000/2/48000 request=2/48000/1/16000\n[" + refused("c") +
             refused("c") +
             "XU_UAC_Init PCM_IN failed. s32Ret =ffffffff \n]\n"
             "opens=p2/48000x4- c1/16000x2! c2/48000x4! live=0"},
        {"after the fixed attempt failed the second reading decides",
         {"", {"c2/32000"}, {0, 0, 2, 48000}, "c1/16000", "Capture:\n Channels: 2\n Rates: 32000\n"},
         "result=0 init=1 pb=null cap=set report=0/0/2/32000 request=0/0/2/48000\n[" + refused("c") + kNoFile +
             refused("c") +
             "XU_UAC_Init PCM_IN Reconfig. s32Ret =ffffffff \n]\n"
             "opens=c2/48000x4! c1/16000x2! c2/32000x4 live=1"},
        {"playback refused and its probe fails: no message of its own",
         {"Capture:\n Channels: 1\n Rates: 16000\n", {"c1/16000"}, req2x48_1x16},
         "result=0 init=1 pb=null cap=set report=0/0/1/16000 request=2/48000/1/16000\n[" + refused("p") +
             "Playback status not support!\n]\nopens=p2/48000x4! c1/16000x2 live=1"},
        {"playback refused without a status file keeps the requested values",
         {"", {"c1/16000"}, req2x48_1x16},
         "result=0 init=1 pb=null cap=set report=2/48000/1/16000 request=2/48000/1/16000\n[" + refused("p") + kNoFile +
             "]\nopens=p2/48000x4! c1/16000x2 live=1"},
        {"playback refused with the request and the probed format",
         {"Playback:\n Channels: 1\n Rates: 16000\n", {"c1/16000"}, req2x48_1x16},
         "result=0 init=1 pb=null cap=set report=1/16000/1/16000 request=2/48000/1/16000\n[" + refused("p") +
             refused("p") +
             "XU_UAC_Init PCM_OUT failed. s32Ret =ffffffff \n]\n"
             "opens=p2/48000x4! p1/16000x2! c1/16000x2 live=1"},
        {"playback opened with the probed format",
         {"Playback:\n Channels: 2\n Rates: 32000\n", {"p2/32000", "c1/16000"}, req2x48_1x16},
         "result=0 init=1 pb=set cap=set report=2/32000/1/16000 request=2/48000/1/16000\n[" + refused("p") +
             "]\nopens=p2/48000x4! p2/32000x4 c1/16000x2 live=2"},
    };
    for (const Case &c : cases) {
        const std::string log = run_scenario(c.scenario);
        EXPECT_EQ(log, c.log) << c.what;
    }
}

TEST(AdaptiveInitTest, AnInitialisedInstanceIsLeftAsItIs)
{
    const ProcRun run = run_with_proc({}, [] {
        fake_tinyalsa::reset();
        UAC_INSTANCE_S instance{};
        instance.u8Card = 1;
        instance.bInitialised = 1;
        UAC_STREAM_STAT_S request{2, 48000, 1, 16000};
        UAC_STREAM_STAT_S report{5, 6, 7, 8};
        CaptureFd out(1);
        const int32_t result = BSP_UacInit_s(&instance, &request, &report);
        return std::to_string(result) + " " + stat_text(report) + " [" + out.finish() + "] " +
               std::to_string(state().streams.size());
    });
    EXPECT_EQ(run.output, "0 5/6/7/8 [] 0");
}

TEST(AdaptiveInitTest, RepeatedFailingCallsLeaveNothingOpen)
{
    const std::string log = run_scenario({"", {"p2/48000"}, {2, 48000, 2, 48000}}, 3);
    const std::string once = "p2/48000x4- c2/48000x4! c1/16000x2! ";
    EXPECT_EQ(log.substr(log.find("opens=")), "opens=" + once + once + once + "live=0");
    const std::string failed = "result=-1 init=0 pb=null cap=null";
    std::size_t failures = 0;
    for (std::size_t at = log.find(failed); at != std::string::npos; at = log.find(failed, at + 1)) {
        failures++;
    }
    EXPECT_EQ(failures, 3u) << log;
}

TEST(AdaptiveInitTest, SendReceiveAndDeinitServeTheAdaptedInstance)
{
    const ProcRun run = run_with_proc({{"asound/card1/stream0", kStatus2x48000Both}}, [] {
        fake_tinyalsa::reset();
        state().accept = [](const fake_tinyalsa::OpenCall &call) { return key_of(call) == "c2/48000"; };
        UAC_INSTANCE_S instance{};
        instance.u8Card = 1;
        UAC_STREAM_STAT_S request{0, 0, 1, 16000};
        UAC_STREAM_STAT_S report{};
        CaptureFd out(1);
        std::string log = std::to_string(BSP_UacInit_s(&instance, &request, &report));
        out.finish();
        std::vector<char> buffer(XU_UAC_GetPcm_BufSize(instance.pCaptureHandle));
        UAC_AUDIO_FRAME_S frame{};
        frame.pData = buffer.data();
        frame.u32Len = 4096;
        log += " bufsize=" + std::to_string(buffer.size());
        log += " get=" + std::to_string(BSP_UacGetFrame_m(&instance, buffer.data(), 1));
        log += " send=" + std::to_string(BSP_UacSendFrame_m(&instance, frame));
        log += " deinit=" + std::to_string(BSP_UacDeinit_m(&instance));
        log += " live=" + std::to_string(fake_tinyalsa::open_stream_count());
        return log;
    });
    // One period of 2 channels: 1024 frames of 4 bytes; no playback stream to send on.
    EXPECT_EQ(run.output, "0 bufsize=4096 get=4096 send=-1 deinit=0 live=0");
}
