// Transfers through the mapped ring, against the scripted kernel's device:
// with the status/control pages mapped (x86) and through SYNC_PTR (ARM).
#include "fake_kernel.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

const pcm_config stereo16 = {2, 48000, 1024, 4, PCM_FORMAT_S16_LE, 0, 0, 0};
constexpr unsigned int kBuffer = 4096; // frames
constexpr unsigned int kFrame = 4;     // bytes

// Frames numbered from `first`, one 32-bit number per 4-byte frame.
std::vector<uint8_t> numbered(uint32_t first, unsigned int frames)
{
    std::vector<uint8_t> bytes(frames * kFrame);
    for (unsigned int i = 0; i < frames; i++) {
        uint32_t n = first + i;
        std::memcpy(&bytes[i * kFrame], &n, kFrame);
    }
    return bytes;
}

// The first frame whose number breaks the sequence, or -1.
long first_break(const std::vector<uint8_t> &bytes, uint32_t first)
{
    for (size_t i = 0; i < bytes.size() / kFrame; i++) {
        uint32_t n;
        std::memcpy(&n, &bytes[i * kFrame], kFrame);
        if (n != first + i)
            return static_cast<long>(i);
    }
    return -1;
}

// Where the kernel wraps the pointers of a 4096-frame stream on the 32-bit
// device: the largest power-of-two multiple of the buffer that leaves room
// for one more buffer below a 32-bit LONG_MAX.
constexpr snd_pcm_uframes_t kArmBoundary = snd_pcm_uframes_t{1} << 30;

// A mapped stream on a fresh fake device.
struct MmapStream {
    FakeKernel k;
    pcm *p;
    // Pointers wrap after four buffers unless told otherwise, so the
    // transfers below cross it.
    MmapStream(bool pages, unsigned int flags, const pcm_config &config = stereo16,
               snd_pcm_uframes_t boundary = kBuffer * 4)
    {
        k.pages_allowed = pages;
        k.boundary_override = boundary;
        p = pcm_open_on(k.table(), 0, 0, flags | PCM_MMAP, &config);
        EXPECT_TRUE(pcm_is_ready(p)) << pcm_get_error(p);
        EXPECT_EQ(p->pages_mapped != 0, pages);
    }
    ~MmapStream() { pcm_close(p); }
    int write(const std::vector<uint8_t> &data)
    {
        return pcm_mmap_write(p, data.data(), static_cast<unsigned int>(data.size()));
    }
    int read(std::vector<uint8_t> &buf) { return pcm_mmap_read(p, buf.data(), static_cast<unsigned int>(buf.size())); }
};

// The parameter: status/control pages mapped (true) or SYNC_PTR (false).
class MmapTest : public testing::TestWithParam<bool> {};

// Chunk sizes that do not divide the buffer, so copies split at its end.
const unsigned int chunks[] = {1000, 4096, 7, 3333, 5000, 1, 8192, 2048};

TEST_P(MmapTest, PlaybackArrivesIntactAcrossRingEndsAndPointerWraps)
{
    MmapStream s(GetParam(), PCM_OUT);
    uint32_t next = 0;
    for (int round = 0; round < 3; round++) {
        for (unsigned int frames : chunks) {
            ASSERT_EQ(s.write(numbered(next, frames)), 0);
            next += frames;
        }
    }
    s.k.drain();
    ASSERT_GT(next, kBuffer * 4 * 2) << "the pointers wrapped at least twice";
    EXPECT_EQ(s.k.played.size(), size_t{next} * kFrame);
    EXPECT_EQ(first_break(s.k.played, 0), -1);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u);
    EXPECT_EQ(s.p->xruns, 0u);
}

TEST_P(MmapTest, CaptureDeliversEveryFrameInOrder)
{
    MmapStream s(GetParam(), PCM_IN);
    std::vector<uint8_t> got;
    for (int round = 0; round < 3; round++) {
        for (unsigned int frames : chunks) {
            std::vector<uint8_t> buf(frames * kFrame);
            ASSERT_EQ(s.read(buf), 0);
            got.insert(got.end(), buf.begin(), buf.end());
        }
    }
    EXPECT_GT(got.size(), size_t{kBuffer} * 4 * 2 * kFrame);
    EXPECT_EQ(first_break(got, 0), -1);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u);
}

TEST_P(MmapTest, PlaybackStartsOnceTheStartThresholdIsQueued)
{
    const struct {
        unsigned int start_threshold, first, second, started_at;
    } table[] = {
        {0, 2047, 1, 2048},       // the default: half the buffer
        {100, 99, 5, 104},        // as given, after the call's frames are in
        {10000, 4000, 500, 4096}, // beyond the buffer: once it is full
    };
    for (const auto &row : table) {
        pcm_config config = stereo16;
        config.start_threshold = row.start_threshold;
        MmapStream s(GetParam(), PCM_OUT, config);
        ASSERT_EQ(s.write(numbered(0, row.first)), 0);
        EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 0u) << row.start_threshold;
        ASSERT_EQ(s.write(numbered(row.first, row.second)), 0);
        EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u) << row.start_threshold;
        EXPECT_EQ(s.k.starts_at_appl, row.started_at) << row.start_threshold;
    }
}

TEST_P(MmapTest, OnlyWholeFramesAreTransferred)
{
    MmapStream s(GetParam(), PCM_OUT);
    std::vector<uint8_t> data = numbered(0, 1001);
    ASSERT_EQ(pcm_mmap_write(s.p, data.data(), 1000 * kFrame + 3), 0);
    EXPECT_EQ(s.p->control->appl_ptr, 1000u);
}

TEST_P(MmapTest, AStreamThatStopsWhileWaitingFailsWithItsReason)
{
    const struct {
        const char *name;
        snd_pcm_state_t state;
        int err;
    } table[] = {
        {"xrun", SNDRV_PCM_STATE_XRUN, -EPIPE},
        {"suspended", SNDRV_PCM_STATE_SUSPENDED, -ESTRPIPE}, // by a driver that cannot resume
        {"disconnected", SNDRV_PCM_STATE_DISCONNECTED, -ENODEV},
    };
    for (const auto &row : table) {
        MmapStream s(GetParam(), PCM_OUT);
        s.k.resume_error = -ENOSYS;
        s.k.poll_error_state = row.state;
        EXPECT_EQ(s.write(numbered(0, kBuffer * 2)), row.err) << row.name;
        EXPECT_EQ(s.p->xruns, row.err == -EPIPE ? 1u : 0u) << row.name;
    }
}

TEST_P(MmapTest, AfterAnXrunTheNextCallStartsAfresh)
{
    MmapStream s(GetParam(), PCM_IN);
    std::vector<uint8_t> buf(kBuffer * kFrame);
    ASSERT_EQ(s.read(buf), 0);
    s.k.poll_error_state = SNDRV_PCM_STATE_XRUN;
    EXPECT_EQ(s.read(buf), -EPIPE);
    EXPECT_EQ(s.p->xruns, 1u);
    EXPECT_STREQ(pcm_get_error(s.p), "cannot read stream data: Broken pipe");
    EXPECT_EQ(s.k.status.state, SNDRV_PCM_STATE_PREPARED);
    // The restarted stream delivers what was recorded after the restart.
    uint32_t restart = s.k.capture_counter;
    EXPECT_EQ(s.read(buf), 0);
    EXPECT_EQ(first_break(buf, restart), -1);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 2u);
}

TEST_P(MmapTest, AnXrunFoundBetweenCallsIsReportedOnce)
{
    MmapStream s(GetParam(), PCM_OUT);
    std::vector<uint8_t> data = numbered(0, kBuffer);
    ASSERT_EQ(s.write(data), 0);
    s.k.status.state = SNDRV_PCM_STATE_XRUN;
    EXPECT_EQ(s.write(data), -EPIPE);
    EXPECT_EQ(s.write(data), 0);
    EXPECT_EQ(s.p->xruns, 1u);
}

// With PCM_NORESTART the xrun is reported and the stream left stopped, as
// pcm_writei leaves it; the next call prepares it again. This subset has no
// pcm_prepare, so a stream left stopped for good could only be closed.
TEST_P(MmapTest, WithNoRestartAnXrunIsReportedOnceAndTheNextCallStartsAfresh)
{
    for (unsigned int direction : {PCM_OUT, PCM_IN}) {
        MmapStream s(GetParam(), direction | PCM_NORESTART);
        std::vector<uint8_t> data = numbered(0, kBuffer);
        const char *name = direction == PCM_IN ? "capture" : "playback";
        auto transfer = [&] { return direction == PCM_IN ? s.read(data) : s.write(data); };
        ASSERT_EQ(transfer(), 0) << name;
        s.k.status.state = SNDRV_PCM_STATE_XRUN;
        const std::size_t prepares = s.k.count(SNDRV_PCM_IOCTL_PREPARE);
        EXPECT_EQ(transfer(), -EPIPE) << name;
        EXPECT_EQ(s.k.status.state, SNDRV_PCM_STATE_XRUN) << "left stopped: " << name;
        EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), prepares) << name;
        EXPECT_EQ(transfer(), 0) << name;
        EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_PREPARE), prepares + 1) << name;
        EXPECT_EQ(s.p->xruns, 1u) << name;
    }
}

TEST_P(MmapTest, ANonBlockingStreamWithoutRoomFailsAtOnce)
{
    MmapStream s(GetParam(), PCM_OUT | PCM_NONBLOCK);
    ASSERT_EQ(s.write(numbered(0, kBuffer - 100)), 0);
    EXPECT_EQ(s.write(numbered(kBuffer - 100, 101)), -EAGAIN);
    EXPECT_EQ(s.k.polls, 0u);
    EXPECT_STREQ(pcm_get_error(s.p), "cannot write stream data: Resource temporarily unavailable");
}

// A non-blocking call moves its block whole or not at all, so that the
// caller can offer the same block again after -EAGAIN without any of it
// arriving twice or going missing.
TEST_P(MmapTest, ANonBlockingCallMovesItsBlockWholeOrNotAtAll)
{
    pcm_config config = stereo16;
    config.start_threshold = kBuffer; // starts once the ring is full
    MmapStream s(GetParam(), PCM_OUT | PCM_NONBLOCK, config);
    uint32_t next = 0;
    unsigned int refused = 0;
    for (int block = 0; block < 40; block++) {
        std::vector<uint8_t> data = numbered(next, 1500);
        int result, tries = 0;
        while ((result = s.write(data)) == -EAGAIN && ++tries < 10) {
            EXPECT_EQ(s.p->control->appl_ptr % kBuffer, next % kBuffer) << "nothing of a refused block is queued";
            refused++;
            s.k.advance(); // the caller sleeps for a period
        }
        ASSERT_EQ(result, 0) << "block " << block;
        next += 1500;
    }
    s.k.drain();
    EXPECT_GT(refused, 0u);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u)
        << "blocks of 1500 never fill the ring: started when one did not fit";
    EXPECT_EQ(s.k.played.size(), size_t{next} * kFrame);
    EXPECT_EQ(first_break(s.k.played, 0), -1);

    MmapStream in(GetParam(), PCM_IN | PCM_NONBLOCK);
    std::vector<uint8_t> got, buf(1500 * kFrame);
    refused = 0;
    for (int tries = 0; got.size() < buf.size() * 20; tries++) {
        ASSERT_LT(tries, 100);
        int result = in.read(buf);
        if (result == -EAGAIN) {
            refused++;
            in.k.advance();
            continue;
        }
        ASSERT_EQ(result, 0);
        got.insert(got.end(), buf.begin(), buf.end());
    }
    EXPECT_GT(refused, 0u);
    EXPECT_EQ(first_break(got, 0), -1) << "no frame of a refused read is lost";
}

TEST_P(MmapTest, ANonBlockingBlockLargerThanTheRingIsRefused)
{
    MmapStream s(GetParam(), PCM_OUT | PCM_NONBLOCK);
    EXPECT_EQ(s.write(numbered(0, kBuffer + 1)), -EINVAL);
    EXPECT_STREQ(pcm_get_error(s.p), "cannot move 4097 frames at once through a ring of 4096 frames: Invalid argument");
    EXPECT_EQ(s.p->control->appl_ptr, 0u);
    EXPECT_EQ(s.write(numbered(0, kBuffer)), 0) << "a whole ring fits";
}

TEST_P(MmapTest, ASuspendedStreamIsResumedWhereTheDriverCan)
{
    MmapStream s(GetParam(), PCM_OUT);
    uint32_t next = 0;
    ASSERT_EQ(s.write(numbered(next, kBuffer)), 0);
    next += kBuffer;
    // Between two calls, and while a call waits for room.
    s.k.suspend();
    ASSERT_EQ(s.write(numbered(next, 1000)), 0);
    next += 1000;
    s.k.poll_error_state = SNDRV_PCM_STATE_SUSPENDED;
    ASSERT_EQ(s.write(numbered(next, kBuffer)), 0);
    next += kBuffer;
    s.k.drain();
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_RESUME), 2u);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u) << "the stream went on, it did not restart";
    EXPECT_EQ(first_break(s.k.played, 0), -1);
    EXPECT_EQ(s.k.played.size(), size_t{next} * kFrame);
}

TEST_P(MmapTest, ASuspendWithoutResumeIsReportedOnceAndTheStreamStartsAfresh)
{
    MmapStream s(GetParam(), PCM_IN);
    std::vector<uint8_t> buf(1024 * kFrame);
    ASSERT_EQ(s.read(buf), 0);
    s.k.resume_error = -ENOSYS;
    s.k.suspend();
    EXPECT_EQ(s.read(buf), -ESTRPIPE);
    EXPECT_STREQ(pcm_get_error(s.p), "cannot read stream data: Streams pipe error");
    uint32_t restart = s.k.capture_counter;
    EXPECT_EQ(s.read(buf), 0);
    EXPECT_EQ(first_break(buf, restart), -1) << "the prepared stream delivers what it records afresh";
    EXPECT_EQ(s.read(buf), 0);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 2u);
    EXPECT_EQ(s.p->xruns, 0u);
}

TEST_P(MmapTest, AStalledClockEndsTheWait)
{
    MmapStream s(GetParam(), PCM_OUT);
    s.k.stalled = true;
    EXPECT_EQ(s.write(numbered(0, kBuffer + 1)), -EIO);
    EXPECT_EQ(s.k.polls, 1u);
}

TEST(Boundary, OfThe32BitDeviceIsTwoToTheThirtyFramesForA4096FrameBuffer)
{
    if (sizeof(long) == 4) {
        EXPECT_EQ(pcm_boundary(kBuffer), kArmBoundary);
    } else {
        EXPECT_GT(pcm_boundary(kBuffer), kArmBoundary) << "a 64-bit long reaches far further";
    }
}

// Frames free (playback) or ready (capture) as the library counts them from
// the kernel's pointers, on both sides of the 32-bit device's boundary.
TEST_P(MmapTest, AvailIsCountedAcrossThePointerWrap)
{
    const snd_pcm_uframes_t b = kArmBoundary;
    const struct {
        const char *what;
        unsigned int flags;
        snd_pcm_uframes_t hw, appl;
        snd_pcm_sframes_t avail;
    } table[] = {
        {"playback, neither wrapped, one frame free", PCM_OUT, b - 4096, b - 1, 1},
        {"playback, appl wrapped, hw not", PCM_OUT, b - 100, 3986, 10},
        {"playback, appl just wrapped to 0", PCM_OUT, b - 4096, 0, 0},
        {"playback, both wrapped", PCM_OUT, 5, 4094, 7},
        {"playback, both at the last frame", PCM_OUT, b - 1, b - 1, 4096},
        {"playback, hw wrapped past an appl behind it (stop threshold beyond the buffer)", PCM_OUT, 5, b - 20, 4121},
        {"capture, hw wrapped, appl not", PCM_IN, 3, b - 7, 10},
        {"capture, hw just wrapped to 0", PCM_IN, 0, b - 4096, 4096},
        {"capture, both wrapped", PCM_IN, 4000, 100, 3900},
        {"capture, both at the last frame", PCM_IN, b - 1, b - 1, 0},
        {"capture, more than a buffer ready across the wrap (overrun pending)", PCM_IN, 3 * 4096, b - 4096, 16384},
    };
    for (const auto &row : table) {
        MmapStream s(GetParam(), row.flags, stereo16, kArmBoundary);
        s.k.status.hw_ptr = row.hw;
        s.k.control.appl_ptr = row.appl;
        // The library's copies of the pointers (its own with SYNC_PTR).
        ASSERT_EQ(pcm_sync(s.p, SNDRV_PCM_SYNC_PTR_APPL | SNDRV_PCM_SYNC_PTR_AVAIL_MIN), 0);
        EXPECT_EQ(pcm_mmap_avail(s.p), row.avail) << row.what;
    }
}

// A stream whose pointers stand a few frames short of the 32-bit device's
// boundary (after some 6.2 hours at 48 kHz): every frame crosses it intact,
// in chunks that split at the ring's end as well, and the pointers start
// again from 0.
TEST_P(MmapTest, PlaybackCrossesThe32BitBoundaryIntact)
{
    MmapStream s(GetParam(), PCM_OUT, stereo16, kArmBoundary);
    s.k.prepare_at = kArmBoundary - 3 * kBuffer - 5;
    uint32_t next = 0;
    for (unsigned int frames : chunks) {
        ASSERT_EQ(s.write(numbered(next, frames)), 0);
        next += frames;
    }
    s.k.drain();
    EXPECT_EQ(s.k.played.size(), size_t{next} * kFrame);
    EXPECT_EQ(first_break(s.k.played, 0), -1);
    EXPECT_EQ(s.k.control.appl_ptr, next - 3 * kBuffer - 5) << "appl_ptr wrapped to 0 at the boundary";
    EXPECT_EQ(s.k.status.hw_ptr, s.k.control.appl_ptr);
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u);
    EXPECT_EQ(s.p->xruns, 0u);
}

TEST_P(MmapTest, CaptureCrossesThe32BitBoundaryIntact)
{
    MmapStream s(GetParam(), PCM_IN, stereo16, kArmBoundary);
    s.k.prepare_at = kArmBoundary - 3 * kBuffer - 5;
    std::vector<uint8_t> got;
    for (unsigned int frames : chunks) {
        std::vector<uint8_t> buf(frames * kFrame);
        ASSERT_EQ(s.read(buf), 0);
        got.insert(got.end(), buf.begin(), buf.end());
    }
    EXPECT_EQ(first_break(got, 0), -1);
    EXPECT_EQ(s.k.control.appl_ptr, got.size() / kFrame - 3 * kBuffer - 5) << "appl_ptr wrapped to 0";
    EXPECT_LT(s.k.status.hw_ptr, kArmBoundary - 3 * kBuffer) << "hw_ptr wrapped too";
    EXPECT_EQ(s.k.count(SNDRV_PCM_IOCTL_START), 1u);
}

// Non-blocking blocks across the boundary: each moves whole or not at all.
TEST_P(MmapTest, ANonBlockingBlockThatStraddlesThe32BitBoundaryMovesWhole)
{
    pcm_config config = stereo16;
    config.start_threshold = kBuffer;
    MmapStream s(GetParam(), PCM_OUT | PCM_NONBLOCK, config, kArmBoundary);
    s.k.prepare_at = kArmBoundary - 2 * kBuffer - 700;
    uint32_t next = 0;
    for (int block = 0; block < 12; block++) {
        std::vector<uint8_t> data = numbered(next, 1500);
        int result, tries = 0;
        while ((result = s.write(data)) == -EAGAIN && ++tries < 10)
            s.k.advance();
        ASSERT_EQ(result, 0) << "block " << block;
        next += 1500;
    }
    s.k.drain();
    EXPECT_EQ(first_break(s.k.played, 0), -1);
    EXPECT_EQ(s.k.played.size(), size_t{next} * kFrame);
    EXPECT_EQ(s.k.control.appl_ptr, next - 2 * kBuffer - 700);
}

INSTANTIATE_TEST_SUITE_P(Pointers, MmapTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool> &info) {
                             return info.param ? "mapped_pages" : "sync_ptr";
                         });

} // namespace
