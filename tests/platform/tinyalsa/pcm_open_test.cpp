// pcm_open's decisions, against the scripted kernel: the parameters it asks
// for, what it keeps of the driver's answer, and how each failure ends.
#include "fake_kernel.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>

namespace {

const pcm_config stereo16 = {2, 48000, 1024, 4, PCM_FORMAT_S16_LE, 0, 0, 0};

const snd_interval &interval(const snd_pcm_hw_params &p, int param)
{
    return p.intervals[param - SNDRV_PCM_HW_PARAM_FIRST_INTERVAL];
}

// The single bit set in a mask parameter, or -1 when not exactly one is.
int only_bit(const snd_pcm_hw_params &p, int param)
{
    const snd_mask &m = p.masks[param - SNDRV_PCM_HW_PARAM_FIRST_MASK];
    int found = -1;
    for (int bit = 0; bit < SNDRV_MASK_MAX; bit++) {
        if (m.bits[bit / 32] & (1u << (bit % 32))) {
            if (found >= 0)
                return -1;
            found = bit;
        }
    }
    return found;
}

void expect_exact(const snd_pcm_hw_params &p, int param, unsigned int value, const char *name)
{
    EXPECT_EQ(interval(p, param).min, value) << name;
    EXPECT_EQ(interval(p, param).max, value) << name;
}

struct HwCase {
    unsigned int flags;
    pcm_config config;
    int access, format;
    unsigned int sample_bits;
};

class HwParamsTest : public testing::TestWithParam<HwCase> {};

TEST_P(HwParamsTest, AskExactlyForTheConfiguration)
{
    const HwCase &c = GetParam();
    FakeKernel k;
    pcm *p = pcm_open_on(k.table(), 0, 0, c.flags, &c.config);
    ASSERT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
    EXPECT_EQ(only_bit(k.hw, SNDRV_PCM_HW_PARAM_ACCESS), c.access);
    EXPECT_EQ(only_bit(k.hw, SNDRV_PCM_HW_PARAM_FORMAT), c.format);
    EXPECT_EQ(only_bit(k.hw, SNDRV_PCM_HW_PARAM_SUBFORMAT), SNDRV_PCM_SUBFORMAT_STD);
    expect_exact(k.hw, SNDRV_PCM_HW_PARAM_SAMPLE_BITS, c.sample_bits, "sample bits");
    expect_exact(k.hw, SNDRV_PCM_HW_PARAM_FRAME_BITS, c.sample_bits * c.config.channels, "frame bits");
    expect_exact(k.hw, SNDRV_PCM_HW_PARAM_CHANNELS, c.config.channels, "channels");
    expect_exact(k.hw, SNDRV_PCM_HW_PARAM_RATE, c.config.rate, "rate");
    expect_exact(k.hw, SNDRV_PCM_HW_PARAM_PERIODS, c.config.period_count, "periods");
    EXPECT_EQ(interval(k.hw, SNDRV_PCM_HW_PARAM_PERIOD_SIZE).min, c.config.period_size);
    EXPECT_EQ(interval(k.hw, SNDRV_PCM_HW_PARAM_PERIOD_SIZE).max, UINT_MAX) << "the period size is a minimum";
    EXPECT_EQ((k.hw.flags & SNDRV_PCM_HW_PARAMS_NO_PERIOD_WAKEUP) != 0, (c.flags & PCM_NOIRQ) != 0);
    EXPECT_EQ(pcm_get_buffer_size(p), c.config.period_size * c.config.period_count);
    pcm_close(p);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, HwParamsTest,
    testing::Values(HwCase{PCM_OUT, stereo16, SNDRV_PCM_ACCESS_RW_INTERLEAVED, SNDRV_PCM_FORMAT_S16_LE, 16},
                    HwCase{PCM_IN | PCM_MMAP, stereo16, SNDRV_PCM_ACCESS_MMAP_INTERLEAVED, SNDRV_PCM_FORMAT_S16_LE, 16},
                    HwCase{PCM_OUT | PCM_NOIRQ | PCM_MMAP,
                           {1, 16000, 256, 2, PCM_FORMAT_S8, 0, 0, 0},
                           SNDRV_PCM_ACCESS_MMAP_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S8,
                           8},
                    HwCase{PCM_IN,
                           {2, 44100, 441, 3, PCM_FORMAT_S16_BE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_RW_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S16_BE,
                           16},
                    HwCase{PCM_OUT,
                           {2, 48000, 1024, 4, PCM_FORMAT_S24_LE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_RW_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S24_LE,
                           32},
                    HwCase{PCM_OUT,
                           {2, 48000, 1024, 4, PCM_FORMAT_S24_BE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_RW_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S24_BE,
                           32},
                    HwCase{PCM_OUT | PCM_MMAP,
                           {6, 96000, 512, 8, PCM_FORMAT_S24_3LE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_MMAP_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S24_3LE,
                           24},
                    HwCase{PCM_OUT,
                           {2, 48000, 1024, 4, PCM_FORMAT_S24_3BE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_RW_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S24_3BE,
                           24},
                    HwCase{PCM_IN,
                           {8, 192000, 64, 16, PCM_FORMAT_S32_LE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_RW_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S32_LE,
                           32},
                    HwCase{PCM_OUT,
                           {2, 48000, 1024, 4, PCM_FORMAT_S32_BE, 0, 0, 0},
                           SNDRV_PCM_ACCESS_RW_INTERLEAVED,
                           SNDRV_PCM_FORMAT_S32_BE,
                           32}));

TEST(HwParams, KeepThePeriodTheDriverSettledOn)
{
    FakeKernel k;
    k.driver_period = 1100;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT, &stereo16);
    ASSERT_TRUE(pcm_is_ready(p));
    EXPECT_EQ(p->config.period_size, 1100u);
    EXPECT_EQ(pcm_get_buffer_size(p), 4400u);
    // The defaults follow the buffer in effect, not the one asked for.
    EXPECT_EQ(k.sw.start_threshold, 2200u);
    EXPECT_EQ(k.sw.stop_threshold, 4400u);
    pcm_close(p);
}

TEST(HwParams, AFormatOutsideTheLineIsRefusedBeforeTheKernel)
{
    FakeKernel k;
    pcm_config config = stereo16;
    config.format = PCM_FORMAT_MAX;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT, &config);
    EXPECT_FALSE(pcm_is_ready(p));
    EXPECT_STREQ(pcm_get_error(p), "cannot set hw params: Invalid argument");
    EXPECT_EQ(k.count(SNDRV_PCM_IOCTL_HW_PARAMS), 0u);
    pcm_close(p);
}

struct ThresholdCase {
    unsigned int flags, start, stop, silence;
    unsigned int want_start, want_stop;
};

class SwParamsTest : public testing::TestWithParam<ThresholdCase> {};

TEST_P(SwParamsTest, ZeroThresholdsTakeTheDefaultsAndAreWrittenBack)
{
    const ThresholdCase &c = GetParam();
    FakeKernel k;
    pcm_config config = stereo16; // a 4096-frame buffer
    config.start_threshold = c.start;
    config.stop_threshold = c.stop;
    config.silence_threshold = c.silence;
    pcm *p = pcm_open_on(k.table(), 0, 0, c.flags, &config);
    ASSERT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
    EXPECT_EQ(k.sw.start_threshold, c.want_start);
    EXPECT_EQ(k.sw.stop_threshold, c.want_stop);
    EXPECT_EQ(k.sw.silence_threshold, c.silence);
    EXPECT_EQ(p->config.start_threshold, c.want_start);
    EXPECT_EQ(p->config.stop_threshold, c.want_stop);
    EXPECT_EQ(k.sw.tstamp_mode, SNDRV_PCM_TSTAMP_ENABLE);
    EXPECT_EQ(k.sw.period_step, 1u);
    EXPECT_EQ(k.sw.avail_min, 1u);
    EXPECT_EQ(k.sw.silence_size, 0u);
    EXPECT_EQ(k.sw.boundary, pcm_boundary(4096));
    pcm_close(p);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, SwParamsTest,
                         testing::Values(ThresholdCase{PCM_OUT, 0, 0, 0, 2048, 4096},
                                         ThresholdCase{PCM_OUT | PCM_NONBLOCK, 0, 0, 0, 2048, 4096},
                                         ThresholdCase{PCM_IN, 0, 0, 0, 1, 40960},
                                         ThresholdCase{PCM_OUT, 4096, 4096, 4096, 4096, 4096},
                                         ThresholdCase{PCM_IN, 4096, 4096, 4096, 4096, 4096},
                                         ThresholdCase{PCM_OUT, 100, 0, 0, 100, 4096},
                                         ThresholdCase{PCM_IN, 0, 9000, 0, 1, 9000}));

TEST(Boundary, IsTheLargestPowerOfTwoMultipleThatLeavesRoomForABuffer)
{
    const snd_pcm_uframes_t long_max = LONG_MAX;
    for (snd_pcm_uframes_t buffer : {1ul, 3ul, 1024ul, 4096ul, 4800ul, 40960ul, 1ul << 20, 12345678ul}) {
        snd_pcm_uframes_t b = pcm_boundary(buffer);
        EXPECT_EQ(b % buffer, 0u) << buffer;
        snd_pcm_uframes_t multiple = b / buffer;
        EXPECT_EQ(multiple & (multiple - 1), 0u) << buffer << ": " << multiple << " buffers";
        EXPECT_LE(b, long_max - buffer) << buffer;
        EXPECT_GT(b, (long_max - buffer) / 2) << buffer << ": doubling would still fit";
    }
    EXPECT_EQ(pcm_boundary(0), 0u);
}

TEST(SwParams, UseTheBoundaryTheKernelReports)
{
    FakeKernel k;
    k.boundary_override = 4096 * 4;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT, &stereo16);
    EXPECT_EQ(p->boundary, 4096u * 4);
    pcm_close(p);
}

TEST(Open, NamesTheNodeByDirectionAndOpensItReadWrite)
{
    // The node is always opened non-blocking, so that a busy stream cannot
    // put the open to sleep; `mode` is what the descriptor keeps.
    const struct {
        unsigned int card, device, flags;
        const char *path;
        int mode;
    } table[] = {
        {0, 0, PCM_OUT, "/dev/snd/pcmC0D0p", O_RDWR},
        {1, 0, PCM_IN, "/dev/snd/pcmC1D0c", O_RDWR},
        {2, 7, PCM_OUT | PCM_NONBLOCK, "/dev/snd/pcmC2D7p", O_RDWR | O_NONBLOCK},
        {3, 1, PCM_IN | PCM_NONBLOCK | PCM_MMAP, "/dev/snd/pcmC3D1c", O_RDWR | O_NONBLOCK},
    };
    for (const auto &row : table) {
        FakeKernel k;
        pcm *p = pcm_open_on(k.table(), row.card, row.device, row.flags, &stereo16);
        EXPECT_TRUE(pcm_is_ready(p));
        EXPECT_EQ(k.opened_path, row.path);
        EXPECT_EQ(k.opened_flags, O_RDWR | O_NONBLOCK) << row.path;
        EXPECT_EQ(k.fd_flags, row.mode) << row.path;
        EXPECT_EQ(pcm_close(p), 0);
        EXPECT_EQ(k.closed, std::vector<int>{FakeKernel::fd});
    }
}

TEST(Open, MonotonicTimestampsAreAskedFor)
{
    FakeKernel k;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT | PCM_MONOTONIC, &stereo16);
    EXPECT_TRUE(pcm_is_ready(p));
    EXPECT_EQ(k.tstamp_type, SNDRV_PCM_TSTAMP_TYPE_MONOTONIC);
    pcm_close(p);

    FakeKernel plain;
    p = pcm_open_on(plain.table(), 0, 0, PCM_OUT, &stereo16);
    EXPECT_EQ(plain.count(SNDRV_PCM_IOCTL_TTSTAMP), 0u);
    pcm_close(p);
}

struct FailureCase {
    const char *step;
    unsigned int flags;
    unsigned long request; // 0: the data mapping fails
    int err;
    const char *text;
};

class OpenFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(OpenFailureTest, ClosesWhatItOpenedAndSaysWhatFailed)
{
    const FailureCase &c = GetParam();
    FakeKernel k;
    if (c.request != 0)
        k.fail_next(c.request, c.err);
    else
        k.data_mmap_error = c.err;
    pcm *p = pcm_open_on(k.table(), 0, 0, c.flags, &stereo16);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(pcm_is_ready(p));
    EXPECT_STREQ(pcm_get_error(p), c.text);
    EXPECT_EQ(k.closed, std::vector<int>{FakeKernel::fd}) << "the node is closed at once";
    EXPECT_EQ(k.mapped, 0u) << "nothing stays mapped";
    EXPECT_EQ(pcm_get_buffer_size(p), 0u);
    EXPECT_EQ(pcm_close(p), 0);
    EXPECT_EQ(k.closed.size(), 1u) << "closing does not close again";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFailureTest,
    testing::Values(
        FailureCase{"info", PCM_OUT, SNDRV_PCM_IOCTL_INFO, -ENXIO, "cannot get info: No such device or address"},
        FailureCase{"hw", PCM_IN, SNDRV_PCM_IOCTL_HW_PARAMS, -EINVAL, "cannot set hw params: Invalid argument"},
        FailureCase{"sw", PCM_OUT, SNDRV_PCM_IOCTL_SW_PARAMS, -EINVAL, "cannot set sw params: Invalid argument"},
        FailureCase{"mmap", PCM_OUT | PCM_MMAP, 0, -ENOMEM,
                    "failed to mmap buffer 16384 bytes: Cannot allocate memory"},
        FailureCase{"tstamp", PCM_OUT | PCM_MMAP | PCM_MONOTONIC, SNDRV_PCM_IOCTL_TTSTAMP, -ENOTTY,
                    "cannot set timestamp type: Inappropriate ioctl for device"}),
    [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.step); });

TEST(Open, ABusyNodeIsReportedWithTheSystemText)
{
    FakeKernel k;
    k.open_error = -EBUSY;
    pcm *p = pcm_open_on(k.table(), 1, 0, PCM_IN, &stereo16);
    EXPECT_FALSE(pcm_is_ready(p));
    EXPECT_STREQ(pcm_get_error(p), "cannot open device '/dev/snd/pcmC1D0c': Device or resource busy");
    EXPECT_TRUE(k.closed.empty());
    EXPECT_EQ(pcm_close(p), 0);
    EXPECT_TRUE(k.closed.empty());
}

TEST(Open, AStreamAnotherProcessHoldsFailsAtOnceInEveryMode)
{
    const struct {
        unsigned int flags;
        const char *text;
    } table[] = {
        {PCM_OUT, "cannot open device '/dev/snd/pcmC1D0p': Device or resource busy"},
        {PCM_IN, "cannot open device '/dev/snd/pcmC1D0c': Device or resource busy"},
        {PCM_OUT | PCM_NONBLOCK, "cannot open device '/dev/snd/pcmC1D0p': Device or resource busy"},
        {PCM_IN | PCM_MMAP, "cannot open device '/dev/snd/pcmC1D0c': Device or resource busy"},
    };
    for (const auto &row : table) {
        FakeKernel k;
        k.busy = true;
        pcm *p = pcm_open_on(k.table(), 1, 0, row.flags, &stereo16);
        EXPECT_FALSE(k.slept_in_open) << row.text << ": a blocking open waits for the holder";
        EXPECT_FALSE(pcm_is_ready(p));
        EXPECT_STREQ(pcm_get_error(p), row.text);
        EXPECT_TRUE(k.calls.empty()) << "nothing reaches a node that did not open";
        EXPECT_EQ(pcm_close(p), 0);
        EXPECT_TRUE(k.closed.empty());
    }
}

TEST(Open, ANodeThatCannotBeMadeBlockingIsClosedAgain)
{
    FakeKernel k;
    k.set_blocking_error = -EBADF;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT, &stereo16);
    EXPECT_FALSE(pcm_is_ready(p));
    EXPECT_STREQ(pcm_get_error(p), "cannot open device '/dev/snd/pcmC0D0p': Bad file descriptor");
    EXPECT_EQ(k.closed, std::vector<int>{FakeKernel::fd});
    EXPECT_TRUE(k.calls.empty());
    EXPECT_EQ(pcm_close(p), 0);
    EXPECT_EQ(k.closed.size(), 1u);
}

TEST(Open, WithoutPeriodInterruptsOnlyMappedStreamsAreAccepted)
{
    for (unsigned int flags : {PCM_OUT | PCM_NOIRQ, PCM_IN | PCM_NOIRQ | PCM_NONBLOCK}) {
        FakeKernel k;
        pcm *p = pcm_open_on(k.table(), 0, 0, flags, &stereo16);
        EXPECT_FALSE(pcm_is_ready(p));
        EXPECT_STREQ(pcm_get_error(p), "noirq only currently supported with mmap().: Invalid argument");
        EXPECT_EQ(k.count(SNDRV_PCM_IOCTL_HW_PARAMS), 0u);
        EXPECT_EQ(k.closed, std::vector<int>{FakeKernel::fd});
        pcm_close(p);
    }
    FakeKernel k;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_IN | PCM_NOIRQ | PCM_MMAP, &stereo16);
    EXPECT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
    pcm_close(p);
}

TEST(Open, WithoutAConfigurationUsesTheDefaultOne)
{
    for (unsigned int flags : {PCM_OUT, PCM_IN}) {
        FakeKernel k;
        pcm *p = pcm_open_on(k.table(), 0, 0, flags, nullptr);
        ASSERT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
        expect_exact(k.hw, SNDRV_PCM_HW_PARAM_CHANNELS, 2, "channels");
        expect_exact(k.hw, SNDRV_PCM_HW_PARAM_RATE, 48000, "rate");
        expect_exact(k.hw, SNDRV_PCM_HW_PARAM_PERIODS, 4, "periods");
        EXPECT_EQ(interval(k.hw, SNDRV_PCM_HW_PARAM_PERIOD_SIZE).min, 1024u);
        EXPECT_EQ(only_bit(k.hw, SNDRV_PCM_HW_PARAM_FORMAT), SNDRV_PCM_FORMAT_S16_LE);
        // What pcm_get_config reports is what is in effect, defaults filled in.
        const pcm_config *c = pcm_get_config(p);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->channels, 2u);
        EXPECT_EQ(c->period_size * c->period_count, pcm_get_buffer_size(p));
        EXPECT_EQ(c->start_threshold, flags == PCM_IN ? 1u : 2048u);
        EXPECT_EQ(c->stop_threshold, flags == PCM_IN ? 40960u : 4096u);
        EXPECT_EQ(pcm_frames_to_bytes(p, 1), 4u);
        pcm_close(p);
    }
}

TEST(Open, TheConfigurationReportedIsTheDriversAnswer)
{
    FakeKernel k;
    k.driver_period = 1100;
    pcm_config asked = stereo16;
    asked.start_threshold = 300;
    pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT, &asked);
    const pcm_config *c = pcm_get_config(p);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->period_size, 1100u);
    EXPECT_EQ(c->start_threshold, 300u);
    EXPECT_EQ(c->stop_threshold, 4400u);
    EXPECT_EQ(asked.period_size, 1024u) << "the caller's record is only read";
    pcm_close(p);
}

TEST(Open, WithoutMemoryHandsOutTheSharedPlaceholder)
{
    FakeKernel k;
    k.fail_alloc = true;
    pcm *a = pcm_open_on(k.table(), 0, 0, PCM_OUT, &stereo16);
    pcm *b = pcm_open_on(k.table(), 0, 0, PCM_IN | PCM_MMAP, &stereo16);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(k.opened_path.empty()) << "nothing is opened";
    const std::string text = pcm_get_error(a);
    EXPECT_FALSE(text.empty());
    EXPECT_FALSE(pcm_is_ready(a));
    EXPECT_EQ(pcm_get_buffer_size(a), 0u);
    EXPECT_EQ(pcm_frames_to_bytes(a, 100), 0u);
    EXPECT_EQ(pcm_bytes_to_frames(a, 100), 0u);
    char buf[16] = {};
    EXPECT_LT(pcm_writei(a, buf, 4), 0);
    EXPECT_LT(pcm_readi(a, buf, 4), 0);
    EXPECT_LT(pcm_mmap_write(a, buf, sizeof(buf)), 0);
    EXPECT_LT(pcm_mmap_read(a, buf, sizeof(buf)), 0);
    EXPECT_EQ(pcm_close(a), 0);
    EXPECT_EQ(pcm_close(a), 0) << "closing it twice is harmless too";
    EXPECT_EQ(pcm_get_error(a), text) << "its text is fixed";
    EXPECT_TRUE(k.calls.empty());
}

TEST(Mmap, MapsTheStatusPagesWhereAllowedAndSynchronisesOtherwise)
{
    for (bool allowed : {true, false}) {
        FakeKernel k;
        k.pages_allowed = allowed;
        pcm *p = pcm_open_on(k.table(), 0, 0, PCM_OUT | PCM_MMAP, &stereo16);
        ASSERT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
        EXPECT_EQ(p->pages_mapped != 0, allowed);
        EXPECT_EQ(k.mapped, allowed ? 3u : 1u);
        EXPECT_EQ(k.count(SNDRV_PCM_IOCTL_SYNC_PTR), allowed ? 0u : 1u);
        EXPECT_EQ(p->control->avail_min, k.control.avail_min);
        EXPECT_EQ(pcm_close(p), 0);
        EXPECT_EQ(k.mapped, 0u);
        EXPECT_EQ(k.calls.back(), SNDRV_PCM_IOCTL_DROP) << "a mapped stream is dropped before it is closed";
    }
}

} // namespace
