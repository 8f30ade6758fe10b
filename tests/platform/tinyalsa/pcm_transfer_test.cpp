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

TEST(Writei, TheFirstWriteThatFailsSaysSoAndTheNextPreparesAgain)
{
    Stream s(PCM_OUT);
    s.k.fail_next(SNDRV_PCM_IOCTL_WRITEI_FRAMES, -EIO);
    EXPECT_EQ(s.write(1024), -1);
    EXPECT_STREQ(pcm_get_error(s.p), "cannot write initial data: Input/output error");
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_WRITEI_FRAMES), 1u) << "the initial write is not retried";
    EXPECT_EQ(s.write(1024), 0);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), 2u);
    EXPECT_EQ(s.write(1024), 1024);
}

TEST(Writei, AfterAFailureAStreamTheKernelStoppedIsPreparedAgain)
{
    // Each error of a running stream, the state the kernel left it in, and
    // whether the next write prepares it.
    const struct {
        int err;
        snd_pcm_state_t state;
        bool prepares;
    } table[] = {
        {-EAGAIN, SNDRV_PCM_STATE_RUNNING, false},     // no room on a non-blocking stream
        {-EINTR, SNDRV_PCM_STATE_RUNNING, false},      // a signal
        {-EIO, SNDRV_PCM_STATE_RUNNING, false},        // a wait that timed out: the queue is kept
        {-EIO, SNDRV_PCM_STATE_SETUP, true},           // stopped by the driver
        {-EBADFD, SNDRV_PCM_STATE_SETUP, true},        // dropped
        {-ENODEV, SNDRV_PCM_STATE_DISCONNECTED, true}, // gone
    };
    for (const auto &row : table) {
        Stream s(PCM_OUT);
        ASSERT_EQ(s.write(1024), 0);
        s.k.status.state = row.state;
        s.k.fail_next(SNDRV_PCM_IOCTL_WRITEI_FRAMES, row.err);
        EXPECT_EQ(s.write(1024), -1) << row.err;
        s.k.status.state = SNDRV_PCM_STATE_RUNNING;
        s.k.calls.clear();
        EXPECT_EQ(s.write(1024), row.prepares ? 0 : 1024) << row.err;
        EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), row.prepares ? 1u : 0u) << row.err;
    }
}

// The system suspends while a stream runs: every transfer of it fails with
// ESTRPIPE until the stream is resumed or prepared again.
TEST(Suspend, AResumableStreamGoesOnWithinTheSameCall)
{
    Stream out(PCM_OUT);
    ASSERT_EQ(out.write(1024), 0);
    out.k.suspend();
    EXPECT_EQ(out.write(1024), 1024);
    EXPECT_EQ(out.k.count(SNDRV_PCM_IOCTL_RESUME), 1u);
    EXPECT_EQ(out.k.count(SNDRV_PCM_IOCTL_PREPARE), 1u) << "resumed, not restarted";
    EXPECT_NE(out.k.status.state, SNDRV_PCM_STATE_SUSPENDED);

    Stream in(PCM_IN);
    ASSERT_EQ(in.read(1024), 1024);
    in.k.suspend();
    EXPECT_EQ(in.read(1024), 1024);
    EXPECT_EQ(in.k.count(SNDRV_PCM_IOCTL_RESUME), 1u);
    EXPECT_EQ(in.k.count(SNDRV_PCM_IOCTL_START), 1u);
    EXPECT_EQ(in.p->xruns, 0u);
}

TEST(Suspend, WithoutResumeTheCallFailsAndTheNextStartsAfresh)
{
    for (int resume_error : {-ENOSYS, -EAGAIN}) {
        Stream out(PCM_OUT);
        ASSERT_EQ(out.write(1024), 0);
        out.k.resume_error = resume_error;
        out.k.suspend();
        EXPECT_EQ(out.write(1024), -1);
        EXPECT_STREQ(pcm_get_error(out.p), "cannot write stream data: Streams pipe error");
        // The next write prepares the stream and reports it as a first write.
        EXPECT_EQ(out.write(1024), 0);
        EXPECT_EQ(out.k.count(SNDRV_PCM_IOCTL_PREPARE), 2u);
        EXPECT_EQ(out.write(1024), 1024);

        Stream in(PCM_IN);
        ASSERT_EQ(in.read(1024), 1024);
        in.k.resume_error = resume_error;
        in.k.suspend();
        EXPECT_EQ(in.read(1024), -1);
        EXPECT_STREQ(pcm_get_error(in.p), "cannot read stream data: Streams pipe error");
        EXPECT_EQ(in.read(1024), 1024);
        EXPECT_EQ(in.k.count(SNDRV_PCM_IOCTL_PREPARE), 2u);
        EXPECT_EQ(in.k.count(SNDRV_PCM_IOCTL_START), 2u);
    }
}

// pcm_write and pcm_read count bytes and report 0 once all of them moved.
TEST(ByteCalls, MoveEveryWholeFrameAndReportZero)
{
    Stream out(PCM_OUT);
    EXPECT_EQ(pcm_write(out.p, out.buf.data(), 4096 + 3), 0);
    EXPECT_EQ(pcm_write(out.p, out.buf.data(), 4096), 0);
    // A kernel that takes 300 frames a time: the call goes on until all are in.
    out.k.xfer_limit = 300;
    out.k.calls.clear();
    EXPECT_EQ(pcm_write(out.p, out.buf.data(), 4096), 0);
    EXPECT_EQ(out.k.count(SNDRV_PCM_IOCTL_WRITEI_FRAMES), 4u) << "300 + 300 + 300 + 124 frames";

    Stream in(PCM_IN);
    in.k.xfer_limit = 1000;
    EXPECT_EQ(pcm_read(in.p, in.buf.data(), 4096), 0);
    EXPECT_EQ(in.k.count(SNDRV_PCM_IOCTL_READI_FRAMES), 2u);
    EXPECT_EQ(pcm_read(in.p, in.buf.data(), 0), 0);
}

TEST(ByteCalls, FailLikeTheFrameCalls)
{
    Stream out(PCM_OUT);
    Stream in(PCM_IN);
    EXPECT_EQ(pcm_write(in.p, in.buf.data(), 4096), -EINVAL);
    EXPECT_EQ(pcm_read(out.p, out.buf.data(), 4096), -EINVAL);
    ASSERT_EQ(pcm_write(out.p, out.buf.data(), 4096), 0);
    out.k.fail_next(SNDRV_PCM_IOCTL_WRITEI_FRAMES, -EPIPE);
    EXPECT_EQ(pcm_write(out.p, out.buf.data(), 4096), 0) << "an underrun is recovered as in pcm_writei";
    EXPECT_EQ(out.p->xruns, 1u);
    out.k.fail_next(SNDRV_PCM_IOCTL_WRITEI_FRAMES, -ENODEV);
    EXPECT_LT(pcm_write(out.p, out.buf.data(), 4096), 0);
    EXPECT_STREQ(pcm_get_error(out.p), "cannot write stream data: No such device");
    in.k.fail_next(SNDRV_PCM_IOCTL_READI_FRAMES, -EIO);
    EXPECT_LT(pcm_read(in.p, in.buf.data(), 4096), 0);
    EXPECT_STREQ(pcm_get_error(in.p), "cannot read stream data: Input/output error");
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
