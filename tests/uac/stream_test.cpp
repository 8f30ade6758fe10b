// The stream layer against the fake tinyalsa: what pcm_open receives, the
// handle's tag word and validity test, and the transfer operations.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "fake_tinyalsa.h"
#include "uac_test_support.h"
#include "xu_uac.h"

using fake_tinyalsa::Op;
using fake_tinyalsa::state;

namespace {

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override { fake_tinyalsa::reset(); }
    void TearDown() override { fake_tinyalsa::reset(); }
};

UAC_CONFIG_S config_m(uint8_t card, uint8_t device, uint32_t flags, uint32_t channels, uint32_t period_count)
{
    UAC_CONFIG_S c{};
    c.card = card;
    c.device = device;
    XU_UAC_Config_m(&c, flags, channels, 48000, 1024, period_count, PCM_FORMAT_S16_LE);
    return c;
}

UAC_HANDLE_S *open_stream(const UAC_CONFIG_S &c)
{
    UAC_HANDLE_S *handle = nullptr;
    EXPECT_EQ(XU_UAC_Init(&handle, &c), 0);
    EXPECT_NE(handle, nullptr);
    return handle;
}

} // namespace

TEST_F(StreamTest, ConfigMKeepsCardAndDeviceAndSetsThresholdsToTheWholeBuffer)
{
    struct Case {
        uint8_t card, device;
        uint32_t flags, channels, rate, period_size, period_count, format, thresholds;
    };
    const Case cases[] = {
        {2, 3, PCM_IN, 2, 48000, 1024, 4, 0, 4096},
        {0, 0, PCM_OUT, 1, 16000, 1024, 2, 0, 2048},
        {7, 1, PCM_IN | PCM_MMAP, 2, 8000, 160, 3, 7, 480},
        // A plain 32-bit product, wrapping like the device's.
        {1, 0, PCM_OUT, 2, 48000, 0x10000, 0x10001, 0, 0x10000},
    };
    for (const Case &c : cases) {
        fake_tinyalsa::reset();
        UAC_CONFIG_S record;
        std::memset(&record, 0xee, sizeof(record));
        record.card = c.card;
        record.device = c.device;
        XU_UAC_Config_m(&record, c.flags, c.channels, c.rate, c.period_size, c.period_count, c.format);
        UAC_HANDLE_S *handle = open_stream(record);
        ASSERT_EQ(state().streams.size(), 1u);
        const fake_tinyalsa::OpenCall &open = state().streams[0].open;
        EXPECT_EQ(open.card, c.card);
        EXPECT_EQ(open.device, c.device);
        EXPECT_EQ(open.flags, c.flags);
        EXPECT_EQ(open.config.channels, c.channels);
        EXPECT_EQ(open.config.rate, c.rate);
        EXPECT_EQ(open.config.period_size, c.period_size);
        EXPECT_EQ(open.config.period_count, c.period_count);
        uint32_t format;
        std::memcpy(&format, &open.config.format, sizeof(format));
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(open.config.start_threshold, c.thresholds);
        EXPECT_EQ(open.config.stop_threshold, c.thresholds);
        EXPECT_EQ(open.config.silence_threshold, c.thresholds);
        EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    }
}

TEST_F(StreamTest, TagWordCarriesCardAndDevice)
{
    struct Case {
        uint8_t card, device;
        uint32_t magic;
    };
    for (const Case &c : {Case{1, 0, 0xEFDA0100u}, Case{2, 3, 0xEFDA0203u}, Case{255, 255, 0xEFDAFFFFu}}) {
        UAC_HANDLE_S *handle = open_stream(config_m(c.card, c.device, PCM_OUT, 2, 4));
        EXPECT_EQ(handle->magic, c.magic);
        EXPECT_EQ(handle->uac_config->card, c.card);
        EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    }
}

TEST_F(StreamTest, InitKeepsItsOwnCopyOfTheConfiguration)
{
    UAC_CONFIG_S record = config_m(1, 0, PCM_IN, 2, 4);
    UAC_HANDLE_S *handle = open_stream(record);
    EXPECT_NE(handle->uac_config, &record);
    EXPECT_EQ(std::memcmp(handle->uac_config, &record, sizeof(record)), 0);
    record.config.channels = 1; // the caller's record is only lent
    EXPECT_EQ(XU_UAC_GetPcm_BufSize(handle), 4096u);
    UAC_FRAME_S frame{0, nullptr, 0};
    std::vector<char> buffer(4096);
    frame.data = buffer.data();
    EXPECT_EQ(XU_UAC_GetFrame(handle, &frame), 0);
    EXPECT_EQ(frame.len, 4096u);
    EXPECT_EQ(XU_UAC_Uninit(handle), 0);
}

// Every handle-taking operation refuses a handle whose tag's high half is not
// 0xEFDA, names itself on standard error and touches nothing.
TEST_F(StreamTest, ValidityTestRefusesForeignTagsWithTheExactMessage)
{
    using Operation = int64_t (*)(UAC_HANDLE_S *, UAC_FRAME_S *);
    struct Named {
        const char *name;
        Operation call;
    };
    const Named operations[] = {
        {"XU_UAC_GetPcm_BufSize", [](UAC_HANDLE_S *h, UAC_FRAME_S *) -> int64_t { return XU_UAC_GetPcm_BufSize(h); }},
        {"XU_UAC_Uninit", [](UAC_HANDLE_S *h, UAC_FRAME_S *) -> int64_t { return XU_UAC_Uninit(h); }},
        {"XU_UAC_SendFrame", [](UAC_HANDLE_S *h, UAC_FRAME_S *f) -> int64_t { return XU_UAC_SendFrame(h, f); }},
        {"XU_UAC_GetFrame", [](UAC_HANDLE_S *h, UAC_FRAME_S *f) -> int64_t { return XU_UAC_GetFrame(h, f); }},
        {"XU_UAC_MmapSendFrame", [](UAC_HANDLE_S *h, UAC_FRAME_S *f) -> int64_t { return XU_UAC_MmapSendFrame(h, f); }},
        {"XU_UAC_MmapGetFrame", [](UAC_HANDLE_S *h, UAC_FRAME_S *f) -> int64_t { return XU_UAC_MmapGetFrame(h, f); }},
    };
    struct Tag {
        uint32_t magic;
        const char *shown;
    };
    const Tag tags[] = {{0, "0"}, {0x12340000u, "12340000"}, {0xEFDB0100u, "efdb0000"}, {0x0000EFDAu, "0"}};
    UAC_HANDLE_S *live = open_stream(config_m(1, 0, PCM_IN | PCM_MMAP, 2, 4));
    for (const Named &op : operations) {
        for (const Tag &tag : tags) {
            UAC_HANDLE_S forged = *live;
            forged.magic = tag.magic;
            char buffer[4096];
            UAC_FRAME_S frame{0, buffer, 4096};
            state().transfer_count = 0;
            CaptureFd err(2);
            CaptureFd out(1);
            const int64_t result = op.call(&forged, &frame);
            EXPECT_EQ(err.finish(), std::string(op.name) + ": magic: " + tag.shown + " efda0000\n");
            EXPECT_EQ(out.finish(), "");
            if (std::strcmp(op.name, "XU_UAC_GetPcm_BufSize") == 0) {
                EXPECT_EQ(result, 0xFFFFFFFFll);
            } else {
                EXPECT_EQ(result, -1) << op.name;
            }
            EXPECT_EQ(frame.len, 4096u) << op.name;
            EXPECT_EQ(state().transfer_count, 0u) << op.name;
            EXPECT_TRUE(state().closes.empty()) << op.name;
        }
    }
    EXPECT_EQ(XU_UAC_Uninit(live), 0);
}

TEST_F(StreamTest, ValidityTestIgnoresTheLowHalf)
{
    UAC_HANDLE_S *live = open_stream(config_m(1, 0, PCM_IN, 2, 4));
    for (uint32_t low : {0x0000u, 0xFFFFu, 0x0302u}) {
        UAC_HANDLE_S copy = *live;
        copy.magic = 0xEFDA0000u | low;
        CaptureFd err(2);
        EXPECT_EQ(XU_UAC_GetPcm_BufSize(&copy), 4096u);
        EXPECT_EQ(err.finish(), "");
    }
    EXPECT_EQ(XU_UAC_Uninit(live), 0);
}

TEST_F(StreamTest, NullHandleIsReportedLikeAZeroedOne)
{
    CaptureFd err(2);
    EXPECT_EQ(XU_UAC_Uninit(nullptr), -1);
    EXPECT_EQ(err.finish(), "XU_UAC_Uninit: magic: 0 efda0000\n");
}

TEST_F(StreamTest, FailedOpenPrintsTinyalsasTextClosesTheStreamAndLeavesTheHandleAlone)
{
    state().accept = [](const fake_tinyalsa::OpenCall &) { return false; };
    UAC_CONFIG_S record = config_m(1, 0, PCM_OUT, 2, 4);
    auto *const sentinel = reinterpret_cast<UAC_HANDLE_S *>(0x1234);
    UAC_HANDLE_S *handle = sentinel;
    CaptureFd out(1);
    CaptureFd err(2);
    EXPECT_EQ(XU_UAC_Init(&handle, &record), -1);
    EXPECT_EQ(out.finish(), "XU_UAC_Init: cannot open device '/dev/snd/pcmC1D0p': No such file or directory \n");
    EXPECT_EQ(err.finish(), "");
    EXPECT_EQ(handle, sentinel);
    ASSERT_EQ(state().streams.size(), 1u);
    EXPECT_EQ(state().closes, std::vector<int>{0});
    EXPECT_EQ(fake_tinyalsa::open_stream_count(), 0);
}

TEST_F(StreamTest, OpenYieldingNoObjectIsReportedWithoutClosingAnything)
{
    state().open_yields_null = true;
    UAC_CONFIG_S record = config_m(1, 0, PCM_IN, 2, 4);
    UAC_HANDLE_S *handle = nullptr;
    CaptureFd out(1);
    EXPECT_EQ(XU_UAC_Init(&handle, &record), -1);
    EXPECT_EQ(out.finish(), "XU_UAC_Init: pcm_open returned no stream object \n");
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(state().closes.empty());
}

TEST_F(StreamTest, UninitOfAStreamThatIsNotReadyReleasesNothing)
{
    UAC_HANDLE_S *handle = open_stream(config_m(1, 0, PCM_OUT, 2, 4));
    state().streams[0].ready = false;
    CaptureFd out(1);
    CaptureFd err(2);
    EXPECT_EQ(XU_UAC_Uninit(handle), -1);
    EXPECT_EQ(out.finish() + err.finish(), "");
    EXPECT_TRUE(state().closes.empty());
    EXPECT_EQ(handle->magic, 0xEFDA0100u); // still there: nothing was freed
    state().streams[0].ready = true;
    EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    EXPECT_EQ(state().closes, std::vector<int>{0});
}

TEST_F(StreamTest, BufSizeIsPeriodSizeTimesPeriodCount)
{
    for (uint32_t periods : {2u, 4u}) {
        UAC_HANDLE_S *handle = open_stream(config_m(0, 0, PCM_IN, 2, periods));
        EXPECT_EQ(XU_UAC_GetPcm_BufSize(handle), 1024u * periods);
        EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    }
}

TEST_F(StreamTest, SendFrameConvertsBytesToWholeFrames)
{
    struct Case {
        uint32_t channels, len;
        int tinyalsa; // programmed pcm_writei result
        unsigned frames;
        int result;
    };
    const Case cases[] = {
        {2, 4097, fake_tinyalsa::kDefault, 1024, 0},
        {2, 4096, fake_tinyalsa::kDefault, 1024, 0},
        {2, 0, fake_tinyalsa::kDefault, 0, 0},
        {2, 3, fake_tinyalsa::kDefault, 0, 0},
        {1, 4097, fake_tinyalsa::kDefault, 2048, 0},
        {2, 4096, 0, 1024, 0},       // the first write after prepare reports 0 frames
        {2, 4096, 100, 1024, 0},     // a partial write still succeeds
        {2, 4096, -1, 1024, -1},     // non-blocking stream without room
        {2, 4096, -EPIPE, 1024, -1}, // underrun with PCM_NORESTART
    };
    for (const Case &c : cases) {
        fake_tinyalsa::reset();
        UAC_HANDLE_S *handle = open_stream(config_m(1, 0, PCM_OUT, c.channels, 4));
        state().write_result = c.tinyalsa;
        std::vector<char> bytes(c.len + 1);
        UAC_FRAME_S frame{0xdeadbeef, bytes.data(), c.len}; // reserved holds garbage: not read
        CaptureFd out(1);
        EXPECT_EQ(XU_UAC_SendFrame(handle, &frame), c.result);
        EXPECT_EQ(out.finish(), "");
        EXPECT_EQ(frame.len, c.len);
        ASSERT_EQ(state().transfer_count, 1u);
        EXPECT_EQ(state().transfers[0].op, Op::writei);
        EXPECT_EQ(state().transfers[0].data, bytes.data());
        EXPECT_EQ(state().transfers[0].count, c.frames) << c.len << " bytes, " << c.channels << " channels";
        EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    }
}

TEST_F(StreamTest, GetFrameReadsTheFixedAmountWhateverLenSays)
{
    struct Case {
        uint32_t channels, period_count, len_in;
        int tinyalsa; // programmed pcm_readi result
        unsigned frames_asked;
        int result;
        uint32_t len_out;
    };
    const Case cases[] = {
        {2, 4, 10, fake_tinyalsa::kDefault, 1024, 0, 4096},
        {2, 4, 0, fake_tinyalsa::kDefault, 1024, 0, 4096},
        {2, 4, 100000, fake_tinyalsa::kDefault, 1024, 0, 4096},
        {1, 2, 10, fake_tinyalsa::kDefault, 1024, 0, 2048},
        {2, 4, 10, 100, 1024, 0, 400}, // reports the bytes actually read
        {2, 4, 10, 0, 1024, 0, 0},
        {2, 4, 77, -1, 1024, -1, 77}, // failures leave len alone
        {2, 4, 77, -EPIPE, 1024, -1, 77},
    };
    for (const Case &c : cases) {
        fake_tinyalsa::reset();
        UAC_HANDLE_S *handle = open_stream(config_m(1, 0, PCM_IN, c.channels, c.period_count));
        state().read_result = c.tinyalsa;
        std::vector<char> buffer(XU_UAC_GetPcm_BufSize(handle)); // exactly what a caller must provide
        UAC_FRAME_S frame{0xdeadbeef, buffer.data(), c.len_in};
        EXPECT_EQ(XU_UAC_GetFrame(handle, &frame), c.result);
        EXPECT_EQ(frame.len, c.len_out);
        ASSERT_EQ(state().transfer_count, 1u);
        EXPECT_EQ(state().transfers[0].op, Op::readi);
        EXPECT_EQ(state().transfers[0].data, buffer.data());
        EXPECT_EQ(state().transfers[0].count, c.frames_asked);
        EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    }
}

TEST_F(StreamTest, WrongDirectionIsRefusedByTinyalsaWithoutAMessage)
{
    UAC_HANDLE_S *playback = open_stream(config_m(1, 0, PCM_OUT, 2, 4));
    UAC_HANDLE_S *capture = open_stream(config_m(1, 0, PCM_IN, 2, 4));
    char buffer[4096];
    UAC_FRAME_S frame{0, buffer, 4096};
    CaptureFd out(1);
    CaptureFd err(2);
    EXPECT_EQ(XU_UAC_GetFrame(playback, &frame), -1);
    EXPECT_EQ(frame.len, 4096u);
    EXPECT_EQ(XU_UAC_SendFrame(capture, &frame), -1);
    EXPECT_EQ(out.finish() + err.finish(), "");
    EXPECT_EQ(XU_UAC_Uninit(playback), 0);
    EXPECT_EQ(XU_UAC_Uninit(capture), 0);
}

TEST_F(StreamTest, MmapPairPassesTheByteCountAndNeedsTheRightStream)
{
    struct Case {
        uint32_t flags;
        bool send;
        int tinyalsa;
        int result;
    };
    const Case cases[] = {
        {PCM_OUT | PCM_MMAP, true, fake_tinyalsa::kDefault, 0},
        {PCM_OUT, true, fake_tinyalsa::kDefault, -1}, // opened without PCM_MMAP
        {PCM_OUT | PCM_MMAP, true, -EPIPE, -1},
        {PCM_OUT | PCM_MMAP, true, 12, 0},
        {PCM_IN | PCM_MMAP, false, fake_tinyalsa::kDefault, 0},
        {PCM_IN, false, fake_tinyalsa::kDefault, -1},
        {PCM_OUT | PCM_MMAP, false, fake_tinyalsa::kDefault, -1}, // not a capture stream
        {PCM_IN | PCM_MMAP, false, -EIO, -1},
    };
    for (const Case &c : cases) {
        fake_tinyalsa::reset();
        UAC_HANDLE_S *handle = open_stream(config_m(1, 0, c.flags, 2, 4));
        state().mmap_result = c.tinyalsa;
        char buffer[4097];
        UAC_FRAME_S frame{0xffffffff, buffer, 4097};
        const int result = c.send ? XU_UAC_MmapSendFrame(handle, &frame) : XU_UAC_MmapGetFrame(handle, &frame);
        EXPECT_EQ(result, c.result) << "flags " << c.flags << (c.send ? " send" : " get");
        EXPECT_EQ(frame.len, 4097u);
        ASSERT_EQ(state().transfer_count, 1u);
        EXPECT_EQ(state().transfers[0].op, c.send ? Op::mmap_write : Op::mmap_read);
        EXPECT_EQ(state().transfers[0].count, 4097u); // bytes, unchanged
        EXPECT_EQ(state().transfers[0].data, buffer);
        EXPECT_EQ(XU_UAC_Uninit(handle), 0);
    }
}

// A live handle with no frame record: refused with -1, silently, and
// nothing reaches tinyalsa.
TEST_F(StreamTest, TransfersRefuseANullFrameRecordWithoutAMessage)
{
    using Transfer = int32_t (*)(UAC_HANDLE_S *, UAC_FRAME_S *);
    const Transfer transfers[] = {XU_UAC_SendFrame, XU_UAC_GetFrame, XU_UAC_MmapSendFrame, XU_UAC_MmapGetFrame};
    UAC_HANDLE_S *playback = open_stream(config_m(1, 0, PCM_OUT | PCM_MMAP, 2, 4));
    UAC_HANDLE_S *capture = open_stream(config_m(1, 0, PCM_IN | PCM_MMAP, 2, 4));
    for (UAC_HANDLE_S *handle : {playback, capture}) {
        for (Transfer transfer : transfers) {
            CaptureFd err(2);
            CaptureFd out(1);
            EXPECT_EQ(transfer(handle, nullptr), -1);
            EXPECT_EQ(err.finish(), "");
            EXPECT_EQ(out.finish(), "");
        }
    }
    EXPECT_EQ(state().transfer_count, 0u);
    EXPECT_EQ(XU_UAC_Uninit(playback), 0);
    EXPECT_EQ(XU_UAC_Uninit(capture), 0);
}
