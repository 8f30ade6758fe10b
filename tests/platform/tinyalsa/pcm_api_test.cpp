// The interface as callers see it, on the real system: this host has no
// sound card, so every open fails the way a missing node does.
#include <tinyalsa/asoundlib.h>

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

extern "C" unsigned int header_check_frame_bits(void);

namespace {

const pcm_config stereo16 = {2, 48000, 1024, 4, PCM_FORMAT_S16_LE, 0, 0, 0};

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct MissingNode {
    unsigned int card, device, flags;
    const char *path;
};

class MissingNodeTest : public testing::TestWithParam<MissingNode> {};

TEST_P(MissingNodeTest, OpenFailsWithTheNodeAndTheSystemReason)
{
    const MissingNode &m = GetParam();
    if (exists(m.path))
        GTEST_SKIP() << m.path << " exists on this machine";
    pcm *p = pcm_open(m.card, m.device, m.flags, &stereo16);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(pcm_is_ready(p));
    EXPECT_EQ(std::string(pcm_get_error(p)),
              std::string("cannot open device '") + m.path + "': No such file or directory");
    EXPECT_EQ(pcm_get_buffer_size(p), 0u);
    EXPECT_EQ(pcm_close(p), 0);
}

INSTANTIATE_TEST_SUITE_P(Nodes, MissingNodeTest,
                         testing::Values(MissingNode{29, 0, PCM_OUT, "/dev/snd/pcmC29D0p"},
                                         MissingNode{29, 3, PCM_IN, "/dev/snd/pcmC29D3c"},
                                         MissingNode{30, 12, PCM_OUT | PCM_NONBLOCK, "/dev/snd/pcmC30D12p"},
                                         MissingNode{31, 1, PCM_IN | PCM_MMAP, "/dev/snd/pcmC31D1c"}));

TEST(FormatBits, FollowTheSampleContainer)
{
    const struct {
        pcm_format format;
        unsigned int bits;
    } table[] = {
        {PCM_FORMAT_S16_LE, 16}, {PCM_FORMAT_S8, 8},       {PCM_FORMAT_S16_BE, 16},  {PCM_FORMAT_S24_LE, 32},
        {PCM_FORMAT_S24_BE, 32}, {PCM_FORMAT_S24_3LE, 24}, {PCM_FORMAT_S24_3BE, 24}, {PCM_FORMAT_S32_LE, 32},
        {PCM_FORMAT_S32_BE, 32}, {PCM_FORMAT_MAX, 16},     {pcm_format(15), 16},
    };
    for (const auto &row : table)
        EXPECT_EQ(pcm_format_to_bits(row.format), row.bits) << "format " << row.format;
    EXPECT_EQ(header_check_frame_bits(), 48u);
}

TEST(FrameSizes, ComeFromTheConfigurationEvenOfAHandleThatFailedToOpen)
{
    const struct {
        pcm_config config;
        unsigned int frames_to_bytes_1000, bytes_to_frames_4003;
    } table[] = {
        {stereo16, 4000, 1000},
        {{1, 16000, 1024, 2, PCM_FORMAT_S16_LE, 0, 0, 0}, 2000, 2001},
        {{2, 48000, 1024, 4, PCM_FORMAT_S24_3LE, 0, 0, 0}, 6000, 667},
        {{6, 48000, 1024, 4, PCM_FORMAT_S32_LE, 0, 0, 0}, 24000, 166},
        {{0, 48000, 1024, 4, PCM_FORMAT_S16_LE, 0, 0, 0}, 0, 0},
    };
    for (const auto &row : table) {
        pcm *p = pcm_open(29, 0, PCM_OUT, &row.config);
        EXPECT_EQ(pcm_frames_to_bytes(p, 1000), row.frames_to_bytes_1000) << row.config.channels << " channels";
        EXPECT_EQ(pcm_bytes_to_frames(p, 4003), row.bytes_to_frames_4003) << row.config.channels << " channels";
        pcm_close(p);
    }
}

TEST(FrameSizes, WithoutAConfigurationFollowTheDefaultOne)
{
    // A NULL configuration opens the stream as 2 channels of S16_LE; the
    // node is missing here, so nothing took effect but the frame size.
    pcm *p = pcm_open(29, 0, PCM_OUT, nullptr);
    EXPECT_FALSE(pcm_is_ready(p));
    EXPECT_EQ(pcm_frames_to_bytes(p, 1000), 4000u);
    EXPECT_EQ(pcm_bytes_to_frames(p, 4003), 1000u);
    EXPECT_EQ(pcm_get_buffer_size(p), 0u);
    EXPECT_EQ(pcm_close(p), 0);
    EXPECT_EQ(pcm_get_config(nullptr), nullptr);
}

TEST(Transfers, RefuseTheWrongDirectionOrAccessBeforeAnythingElse)
{
    char buf[64] = {};
    pcm *out = pcm_open(29, 0, PCM_OUT, &stereo16);
    pcm *in = pcm_open(29, 0, PCM_IN, &stereo16);
    pcm *out_mmap = pcm_open(29, 0, PCM_OUT | PCM_MMAP, &stereo16);
    pcm *in_mmap = pcm_open(29, 0, PCM_IN | PCM_MMAP, &stereo16);
    const std::string in_text = pcm_get_error(in);

    EXPECT_EQ(pcm_writei(in, buf, 4), -EINVAL);
    EXPECT_EQ(pcm_readi(out, buf, 4), -EINVAL);
    // The right direction on a stream that never opened: nothing to talk to.
    EXPECT_EQ(pcm_writei(out, buf, 4), -EBADF);
    EXPECT_EQ(pcm_readi(in, buf, 4), -EBADF);
    EXPECT_EQ(pcm_mmap_write(out, buf, sizeof(buf)), -ENOSYS);
    EXPECT_EQ(pcm_mmap_read(in, buf, sizeof(buf)), -ENOSYS);
    EXPECT_EQ(pcm_mmap_read(out_mmap, buf, sizeof(buf)), -ENOSYS);
    EXPECT_EQ(pcm_mmap_write(in_mmap, buf, sizeof(buf)), -EINVAL);
    EXPECT_EQ(pcm_get_error(in), in_text) << "a refusal leaves the text alone";

    // The right direction on a stream that never opened fails without a call.
    EXPECT_LT(pcm_writei(out, buf, 4), 0);
    EXPECT_LT(pcm_readi(in, buf, 4), 0);
    EXPECT_LT(pcm_mmap_write(out_mmap, buf, sizeof(buf)), 0);
    EXPECT_LT(pcm_mmap_read(in_mmap, buf, sizeof(buf)), 0);

    for (pcm *p : {out, in, out_mmap, in_mmap})
        EXPECT_EQ(pcm_close(p), 0);
}

} // namespace
