// pcm_writei / pcm_readi against the scripted kernel: preparation, the
// counts callers see, and recovery from underruns and overruns.
#include "fake_kernel.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const pcm_config stereo16 = {2, 48000, 1024, 4, PCM_FORMAT_S16_LE, 0, 0, 0};

struct Stream {
    FakeKernel k;
    pcm *p;
    std::vector<char> buf = std::vector<char>(4096 * 4);
    explicit Stream(unsigned int flags) : p(pcm_open_on(k.table(), 0, 0, flags, &stereo16))
    {
        EXPECT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
        k.calls.clear();
    }
    ~Stream() { pcm_close(p); }
    int write(unsigned int frames) { return pcm_writei(p, buf.data(), frames); }
    int read(unsigned int frames) { return pcm_readi(p, buf.data(), frames); }
};

TEST(Writei, TheFirstWriteAfterPreparationReportsZeroThenCountsFollow)
{
    Stream s(PCM_OUT);
    EXPECT_EQ(s.write(1024), 0);
    EXPECT_EQ(s.k.calls, (std::vector<unsigned long>{SNDRV_PCM_IOCTL_PREPARE, SNDRV_PCM_IOCTL_WRITEI_FRAMES}));
    EXPECT_EQ(s.write(1024), 1024);
    s.k.xfer_limit = 300;
    EXPECT_EQ(s.write(1024), 300) << "a partial write reports what the kernel took";
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), 1u);
    EXPECT_EQ(s.p->xruns, 0u);
}

struct WriteErrorCase {
    const char *name;
    unsigned int flags;
    std::vector<int> errors; // of the writes after the stream runs
    int result;
    unsigned int xruns, prepares;
    const char *text; // nullptr: unchanged
};

class WriteErrorTest : public testing::TestWithParam<WriteErrorCase> {};

TEST_P(WriteErrorTest, IsRecoveredOrReported)
{
    const WriteErrorCase &c = GetParam();
    Stream s(c.flags);
    ASSERT_EQ(s.write(1024), 0);
    for (int err : c.errors)
        s.k.fail_next(SNDRV_PCM_IOCTL_WRITEI_FRAMES, err);
    EXPECT_EQ(s.write(1024), c.result);
    EXPECT_EQ(s.p->xruns, c.xruns);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), c.prepares);
    if (c.text != nullptr) {
        EXPECT_STREQ(pcm_get_error(s.p), c.text);
    }
    // Whatever happened, the stream goes on with the next write.
    int next = s.write(1024);
    EXPECT_GE(next, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, WriteErrorTest,
    testing::Values(WriteErrorCase{"underrun", PCM_OUT, {-EPIPE}, 0, 1, 2, nullptr},
                    WriteErrorCase{"underrun_twice", PCM_OUT, {-EPIPE, -EPIPE}, 0, 2, 3, nullptr},
                    WriteErrorCase{"norestart", PCM_OUT | PCM_NORESTART, {-EPIPE}, -EPIPE, 1, 1, nullptr},
                    WriteErrorCase{"no_room",
                                   PCM_OUT | PCM_NONBLOCK,
                                   {-EAGAIN},
                                   -1,
                                   0,
                                   1,
                                   "cannot write stream data: Resource temporarily unavailable"},
                    WriteErrorCase{"gone", PCM_OUT, {-ENODEV}, -1, 0, 1, "cannot write stream data: No such device"}),
    [](const testing::TestParamInfo<WriteErrorCase> &info) { return std::string(info.param.name); });

TEST(Writei, APreparationTheKernelRefusesIsReported)
{
    Stream s(PCM_OUT);
    s.k.fail_next(SNDRV_PCM_IOCTL_PREPARE, -EBADFD);
    EXPECT_EQ(s.write(1024), -1);
    EXPECT_STREQ(pcm_get_error(s.p), "cannot prepare channel: File descriptor in bad state");
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_WRITEI_FRAMES), 0u);
}

TEST(Readi, StartsTheStreamAndReportsTheFramesRead)
{
    Stream s(PCM_IN);
    EXPECT_EQ(s.read(1024), 1024);
    EXPECT_EQ(s.k.calls, (std::vector<unsigned long>{SNDRV_PCM_IOCTL_PREPARE, SNDRV_PCM_IOCTL_START,
                                                     SNDRV_PCM_IOCTL_READI_FRAMES}));
    s.k.xfer_limit = 100;
    EXPECT_EQ(s.read(1024), 100);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u);
}

TEST(Readi, OverrunsAreCountedAndTheStreamRestarted)
{
    Stream s(PCM_IN);
    ASSERT_EQ(s.read(1024), 1024);
    s.k.fail_next(SNDRV_PCM_IOCTL_READI_FRAMES, -EPIPE);
    s.k.fail_next(SNDRV_PCM_IOCTL_READI_FRAMES, -EPIPE);
    EXPECT_EQ(s.read(1024), 1024);
    EXPECT_EQ(s.p->xruns, 2u);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), 3u);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 3u);
}

TEST(Readi, OtherErrorsAreReportedWithTheSystemText)
{
    const struct {
        unsigned long request;
        int err;
        const char *text;
    } table[] = {
        {SNDRV_PCM_IOCTL_READI_FRAMES, -EAGAIN, "cannot read stream data: Resource temporarily unavailable"},
        {SNDRV_PCM_IOCTL_READI_FRAMES, -EIO, "cannot read stream data: Input/output error"},
        {SNDRV_PCM_IOCTL_START, -EBADFD, "cannot start channel: File descriptor in bad state"},
        {SNDRV_PCM_IOCTL_PREPARE, -ENODEV, "cannot prepare channel: No such device"},
    };
    for (const auto &row : table) {
        Stream s(PCM_IN);
        s.k.fail_next(row.request, row.err);
        EXPECT_EQ(s.read(1024), -1) << row.text;
        EXPECT_STREQ(pcm_get_error(s.p), row.text);
        EXPECT_EQ(s.p->xruns, 0u);
    }
}

} // namespace
