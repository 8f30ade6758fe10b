// The board layer over the fake tinyalsa. The instance flavour runs here;
// the global flavour looks the card up in "/proc/asound/cards" and keeps
// state for the life of the process, so each of its scenarios runs in a
// child process with a fake /proc.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "bsp_uac.h"
#include "fake_tinyalsa.h"
#include "uac_test_support.h"

using fake_tinyalsa::state;

namespace {

const std::string kPlayback2 = "open C2D0p flags=0 2ch 48000Hz 1024x4 thr=4096/4096/4096; ";
const std::string kCapture2 = "open C2D0c flags=268435456 2ch 48000Hz 1024x4 thr=4096/4096/4096; ";

bool refuse_capture(const fake_tinyalsa::OpenCall &call)
{
    return !(call.flags & PCM_IN);
}

// A frame record whose words other than 2 and 21 hold garbage.
UAC_AUDIO_FRAME_S frame_record(void *bytes, uint32_t len)
{
    UAC_AUDIO_FRAME_S record;
    std::memset(&record, 0xa5, sizeof(record));
    record.pData = bytes;
    record.u32Len = len;
    return record;
}

class BoardInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_tinyalsa::reset();
        instance_ = UAC_INSTANCE_S{};
        instance_.u8Card = 2;
    }
    void TearDown() override
    {
        BSP_UacDeinit_m(&instance_);
        EXPECT_EQ(fake_tinyalsa::open_stream_count(), 0);
        fake_tinyalsa::reset();
    }
    UAC_INSTANCE_S instance_{};
};

} // namespace

TEST_F(BoardInstanceTest, OpensBothStreamsBlockingOnTheInstancesCardOnce)
{
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacInit_m(&instance_), 0);
    EXPECT_EQ(BSP_UacInit_m(&instance_), 0);
    EXPECT_EQ(out.finish(), ""); // no card lookup, no message
    EXPECT_EQ(fake_tinyalsa::journal(), kPlayback2 + kCapture2);
    EXPECT_EQ(instance_.bInitialised, 1u);
    EXPECT_EQ(state().streams[0].open.node(), "/dev/snd/pcmC2D0p");
    EXPECT_EQ(state().streams[1].open.node(), "/dev/snd/pcmC2D0c");
    EXPECT_EQ(XU_UAC_GetPcm_BufSize(instance_.pCaptureHandle), 4096u);
}

TEST_F(BoardInstanceTest, PlaybackFailureLeavesTheInstanceUninitialisedAndTriesNoCapture)
{
    state().accept = [](const fake_tinyalsa::OpenCall &call) { return (call.flags & PCM_IN) != 0; };
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacInit_m(&instance_), -1);
    EXPECT_EQ(out.finish(), "XU_UAC_Init: cannot open device '/dev/snd/pcmC2D0p': No such file or directory \n"
                            "XU_UAC_Init PCM_OUT failed. s32Ret =ffffffff \n");
    EXPECT_EQ(state().streams.size(), 1u);
    EXPECT_EQ(instance_.bInitialised, 0u);
    EXPECT_EQ(instance_.pPlaybackHandle, nullptr);
    char buffer[4096];
    EXPECT_EQ(BSP_UacSendFrame_m(&instance_, frame_record(buffer, 4096)), -1);
    EXPECT_EQ(BSP_UacGetFrame_m(&instance_, buffer, 4096), -1);
}

TEST_F(BoardInstanceTest, WithoutCaptureSendingStillWorksAndDeinitClosesOnlyPlayback)
{
    state().accept = refuse_capture;
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacInit_m(&instance_), 0);
    EXPECT_EQ(out.finish(), "XU_UAC_Init: cannot open device '/dev/snd/pcmC2D0c': No such file or directory \n"
                            "XU_UAC_Init PCM_IN failed. s32Ret =ffffffff \n");
    EXPECT_EQ(instance_.pCaptureHandle, nullptr);
    char buffer[4096];
    EXPECT_EQ(BSP_UacGetFrame_m(&instance_, buffer, 4096), -1);
    EXPECT_EQ(BSP_UacSendFrame_m(&instance_, frame_record(buffer, 4096)), 0);
    EXPECT_EQ(BSP_UacDeinit_m(&instance_), 0);
    EXPECT_EQ(state().closes, (std::vector<int>{1, 0})); // the refused capture object, then playback
}

TEST_F(BoardInstanceTest, DeinitBeforeInitDoesNothing)
{
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacDeinit_m(&instance_), 0);
    EXPECT_EQ(out.finish(), "");
    EXPECT_TRUE(state().streams.empty());
    char buffer[4096];
    EXPECT_EQ(BSP_UacSendFrame_m(&instance_, frame_record(buffer, 4096)), -1);
    EXPECT_EQ(BSP_UacGetFrame_m(&instance_, buffer, 4096), -1);
    EXPECT_EQ(state().transfer_count, 0u);
}

TEST_F(BoardInstanceTest, DeinitClosesCaptureFirstAndReinitLeavesNoStaleCapture)
{
    EXPECT_EQ(BSP_UacInit_m(&instance_), 0);
    EXPECT_EQ(BSP_UacDeinit_m(&instance_), 0);
    EXPECT_EQ(state().closes, (std::vector<int>{1, 0}));
    EXPECT_EQ(instance_.bInitialised, 0u);
    EXPECT_EQ(instance_.pPlaybackHandle, nullptr);
    EXPECT_EQ(instance_.pCaptureHandle, nullptr);

    state().accept = refuse_capture;
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacInit_m(&instance_), 0);
    out.finish();
    char buffer[4096];
    EXPECT_EQ(BSP_UacGetFrame_m(&instance_, buffer, 4096), -1);
    EXPECT_EQ(BSP_UacDeinit_m(&instance_), 0);
    EXPECT_EQ(state().closes, (std::vector<int>{1, 0, 3, 2}));
}

TEST_F(BoardInstanceTest, DeinitWithoutPlaybackClosesOnlyCaptureAndReturnsItsResult)
{
    for (bool capture_close_fails : {false, true}) {
        fake_tinyalsa::reset();
        ASSERT_EQ(BSP_UacInit_m(&instance_), 0);
        UAC_HANDLE_S *playback = instance_.pPlaybackHandle;
        UAC_HANDLE_S *capture = instance_.pCaptureHandle;
        instance_.pPlaybackHandle = nullptr;
        state().streams[1].ready = !capture_close_fails;
        EXPECT_EQ(BSP_UacDeinit_m(&instance_), capture_close_fails ? -1 : 0);
        // The instance is not initialised afterwards, whatever the close gave.
        EXPECT_EQ(instance_.bInitialised, 0u);
        EXPECT_EQ(instance_.pCaptureHandle, nullptr);
        EXPECT_EQ(state().closes, capture_close_fails ? std::vector<int>{} : std::vector<int>{1});
        if (capture_close_fails) {
            state().streams[1].ready = true;
            EXPECT_EQ(XU_UAC_Uninit(capture), 0); // a failed close released nothing
        }
        EXPECT_EQ(XU_UAC_Uninit(playback), 0);
    }
}

TEST_F(BoardInstanceTest, ANullInstanceIsRefusedOrLeftAlone)
{
    char buffer[4096];
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacInit_m(nullptr), -1);
    EXPECT_EQ(BSP_UacSendFrame_m(nullptr, frame_record(buffer, 4096)), -1);
    EXPECT_EQ(BSP_UacGetFrame_m(nullptr, buffer, 4096), -1);
    EXPECT_EQ(BSP_UacDeinit_m(nullptr), 0);
    EXPECT_EQ(out.finish(), "");
    EXPECT_TRUE(state().streams.empty());
    EXPECT_EQ(state().transfer_count, 0u);
}

TEST_F(BoardInstanceTest, ReceiveReadsOnePeriodWhateverTheLengthAndSendPassesWords2And21)
{
    ASSERT_EQ(BSP_UacInit_m(&instance_), 0);
    std::vector<char> received(4096);
    struct Receive {
        int32_t length;
        int tinyalsa;
        int32_t result;
    };
    for (const Receive &r :
         {Receive{100, fake_tinyalsa::kDefault, 4096}, Receive{0, fake_tinyalsa::kDefault, 4096},
          Receive{-5, fake_tinyalsa::kDefault, 4096}, Receive{4096, 10, 40}, Receive{4096, -EIO, 0}}) {
        state().read_result = r.tinyalsa;
        EXPECT_EQ(BSP_UacGetFrame_m(&instance_, received.data(), r.length), r.result) << r.length;
    }
    std::vector<char> sent(4096);
    state().transfer_count = 0;
    EXPECT_EQ(BSP_UacSendFrame_m(&instance_, frame_record(sent.data(), 4096)), 0);
    state().write_result = -EPIPE;
    EXPECT_EQ(BSP_UacSendFrame_m(&instance_, frame_record(sent.data(), 4096)), -1);
    ASSERT_EQ(state().transfer_count, 2u);
    EXPECT_EQ(state().transfers[0].data, sent.data());
    EXPECT_EQ(state().transfers[0].count, 1024u);
}

// The board layer enters the stream layer's transfers past its exported
// functions: a stream handle whose tag was overwritten is still refused
// there, reported under the stream call's name, and nothing moves.
TEST_F(BoardInstanceTest, AStreamWithAForeignTagIsRefusedAndReportedAsTheStreamLayerDoes)
{
    ASSERT_EQ(BSP_UacInit_m(&instance_), 0);
    const uint32_t playback_tag = instance_.pPlaybackHandle->magic;
    const uint32_t capture_tag = instance_.pCaptureHandle->magic;
    instance_.pPlaybackHandle->magic = 0x12340000u;
    instance_.pCaptureHandle->magic = 0xEFDB0100u;
    std::vector<char> buffer(4096);
    state().transfer_count = 0;
    CaptureFd err(2);
    CaptureFd out(1);
    EXPECT_EQ(BSP_UacSendFrame_m(&instance_, frame_record(buffer.data(), 4096)), -1);
    EXPECT_EQ(BSP_UacGetFrame_m(&instance_, buffer.data(), 4096), 0);
    EXPECT_EQ(err.finish(), "XU_UAC_SendFrame: magic: 12340000 efda0000\nXU_UAC_GetFrame: magic: efdb0000 efda0000\n");
    EXPECT_EQ(out.finish(), "");
    EXPECT_EQ(state().transfer_count, 0u);
    instance_.pPlaybackHandle->magic = playback_tag;
    instance_.pCaptureHandle->magic = capture_tag;
}

namespace {

const char *const kGadgetAtCard1 = " 0 [sunxicodec     ]: sunxi-codec\n 1 [UAC1Gadget     ]: UAC1_Gadget\n";
const std::string kGlobalPlayback = "open C1D0p flags=16 2ch 48000Hz 1024x4 thr=0/0/0; ";
const std::string kGlobalCapture = "open C1D0c flags=268435456 2ch 48000Hz 1024x4 thr=0/0/0; ";

// Runs a global-flavour scenario in a fresh process and returns its log.
std::string global_scenario(const char *cards, const std::function<void(std::string &)> &scenario)
{
    const ProcRun run = run_with_proc({{"asound/cards", cards}}, [&] {
        fake_tinyalsa::reset();
        std::string log;
        scenario(log);
        log += fake_tinyalsa::journal() + "open=" + std::to_string(fake_tinyalsa::open_stream_count());
        return log;
    });
    return run.output;
}

std::string step(const char *name, int32_t result, CaptureFd &out)
{
    return std::string(name) + "=" + std::to_string(result) + " [" + out.finish() + "]\n";
}

} // namespace

TEST(BoardGlobalTest, InitOpensNonBlockingPlaybackAndBlockingCaptureOnceAndDeinitClosesInOrder)
{
    const std::string log = global_scenario(kGadgetAtCard1, [](std::string &log) {
        std::vector<char> buffer(4096);
        {
            CaptureFd out(1);
            log += step("deinit", BSP_UacDeinit(), out);
        }
        {
            CaptureFd out(1);
            log += step("init", BSP_UacInit(), out);
        }
        {
            CaptureFd out(1);
            log += step("init", BSP_UacInit(), out);
        }
        {
            CaptureFd out(1);
            log += step("get", BSP_UacGetFrame(buffer.data(), 100), out);
        }
        {
            CaptureFd out(1);
            log += step("send", BSP_UacSendFrame(frame_record(buffer.data(), 4097)), out);
        }
        {
            CaptureFd out(1);
            log += step("deinit", BSP_UacDeinit(), out);
        }
        log += "closes=" + std::to_string(state().closes.at(0)) + "," + std::to_string(state().closes.at(1)) + "\n";
        CaptureFd out(1);
        log += step("deinit", BSP_UacDeinit(), out);
        log += step("get", BSP_UacGetFrame(buffer.data(), 4096), out);
        log += step("send", BSP_UacSendFrame(frame_record(buffer.data(), 4096)), out);
    });
    EXPECT_EQ(log, "deinit=0 []\n"
                   "init=0 [uac_config->card=1\nuac_config->card=1\n]\n"
                   "init=0 []\n"
                   "get=4096 []\n"
                   "send=0 []\n"
                   "deinit=0 []\n"
                   "closes=0,1\n"
                   "deinit=0 []\n"
                   "get=-1 []\n"
                   "send=-1 []\n" +
                       kGlobalPlayback + kGlobalCapture + "close 0; close 1; open=0");
}

TEST(BoardGlobalTest, CaptureFailingOnReinitLeavesReceiveRefusedAndDeinitClosesOnlyPlayback)
{
    const std::string log = global_scenario(kGadgetAtCard1, [](std::string &log) {
        std::vector<char> buffer(4096);
        CaptureFd out(1);
        log += std::to_string(BSP_UacInit());
        log += std::to_string(BSP_UacDeinit());
        out.finish();
        state().accept = refuse_capture;
        CaptureFd out2(1);
        log += step("init", BSP_UacInit(), out2);
        log += "get=" + std::to_string(BSP_UacGetFrame(buffer.data(), 4096));
        log += " send=" + std::to_string(BSP_UacSendFrame(frame_record(buffer.data(), 4096)));
        log += " deinit=" + std::to_string(BSP_UacDeinit()) + "\n";
    });
    EXPECT_EQ(log, "00init=0 [uac_config->card=1\nuac_config->card=1\n"
                   "XU_UAC_Init: cannot open device '/dev/snd/pcmC1D0c': No such file or directory \n"
                   "XU_UAC_Init PCM_IN failed. s32Ret =ffffffff \n]\n"
                   "get=-1 send=0 deinit=0\n" +
                       kGlobalPlayback + kGlobalCapture + kGlobalPlayback +
                       "open C1D0c flags=268435456 2ch 48000Hz 1024x4 thr=0/0/0 refused; "
                       "close 0; close 1; close 3; close 2; open=0");
}

TEST(BoardGlobalTest, PlaybackFailureFailsInitWithoutTryingCapture)
{
    const std::string log = global_scenario(" 0 [sunxicodec     ]: sunxi-codec\n", [](std::string &log) {
        state().accept = [](const fake_tinyalsa::OpenCall &) { return false; };
        CaptureFd out(1);
        log += step("init", BSP_UacInit(), out);
        log += "deinit=" + std::to_string(BSP_UacDeinit()) + "\n";
    });
    // No gadget line: card 0, and no card message.
    EXPECT_EQ(log, "init=-1 [XU_UAC_Init: cannot open device '/dev/snd/pcmC0D0p': No such file or directory \n"
                   "XU_UAC_Init PCM_OUT failed. s32Ret =ffffffff \n]\n"
                   "deinit=0\n"
                   "open C0D0p flags=16 2ch 48000Hz 1024x4 thr=0/0/0 refused; close 0; open=0");
}
