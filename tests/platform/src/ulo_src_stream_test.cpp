// What comes out of the converter in each of its twelve modes, mono and stereo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "src_stream.h"
#include "test_signal.h"

using namespace signal_check;

namespace {

struct Case {
    uint32_t mode;
    uint32_t channels;
    double in_rate() const { return UloSrc_ModeInKHz(mode) * 1000.0; }
    double out_rate() const { return UloSrc_ModeOutKHz(mode) * 1000.0; }
    // Output frames for frames of input, by the rate ratio, rounded up.
    size_t out_frames(size_t frames) const
    {
        return (frames * UloSrc_ModeOutKHz(mode) + UloSrc_ModeInKHz(mode) - 1) / UloSrc_ModeInKHz(mode);
    }
};

std::vector<Case> all_cases()
{
    std::vector<Case> cases;
    for (uint32_t mode = 0; mode < ULO_SRC_MODE_COUNT; mode++) {
        cases.push_back({mode, 1});
        cases.push_back({mode, 2});
    }
    return cases;
}

std::string case_name(const testing::TestParamInfo<Case> &info)
{
    return std::to_string(UloSrc_ModeInKHz(info.param.mode)) + "to" +
           std::to_string(UloSrc_ModeOutKHz(info.param.mode)) + (info.param.channels == 1 ? "_mono" : "_stereo");
}

class ConverterStream : public testing::TestWithParam<Case> {};

constexpr double kLeftFreq = 1000;
constexpr double kLeftAmp = 16384; // -6 dBFS
constexpr double kRightFreq = 1500;
constexpr double kRightAmp = 8192; // -12 dBFS

// Stereo gets a different tone and level on the right.
std::vector<int16_t> test_tones(const Case &c, size_t frames)
{
    auto left = sine(kLeftFreq, c.in_rate(), frames, kLeftAmp);
    if (c.channels == 1) {
        return left;
    }
    return interleave({left, sine(kRightFreq, c.in_rate(), frames, kRightAmp)});
}

TEST_P(ConverterStream, TonesKeepFrequencyLevelAndChannel)
{
    const Case c = GetParam();
    const auto out = convert_stream(c.mode, c.channels, test_tones(c, c.in_rate() / 2), {});
    // Measure 0.3 s from 0.1 s on, well clear of the start and the end.
    const auto first = static_cast<size_t>(c.out_rate() / 10);
    const auto count = static_cast<size_t>(c.out_rate() * 3 / 10);
    struct Expect {
        int which;
        double freq, amp, other_freq;
    };
    std::vector<Expect> expects{{0, kLeftFreq, kLeftAmp, kRightFreq}};
    if (c.channels == 2) {
        expects.push_back({1, kRightFreq, kRightAmp, kLeftFreq});
    }
    for (const auto &e : expects) {
        SCOPED_TRACE("channel " + std::to_string(e.which));
        const auto x = channel(out, c.channels, e.which, first, count);
        ASSERT_EQ(x.size(), count);
        EXPECT_NEAR(crossing_frequency(x, c.out_rate()), e.freq, 0.05);
        const ToneFit fit = fit_tone(x, e.freq, c.out_rate());
        EXPECT_NEAR(db(fit.amplitude / e.amp), 0.0, 0.05) << "level";
        // Everything but the tone: noise, distortion, glitches, the other channel.
        EXPECT_LT(db(fit.residual_rms * std::sqrt(2) / fit.amplitude), -80.0) << "noise and distortion";
        EXPECT_LT(db(fit_tone(x, e.other_freq, c.out_rate()).amplitude / 32768), -100.0) << "crosstalk";
    }
}

TEST_P(ConverterStream, LengthFollowsRateRatioAndFlushGivesDelay)
{
    const Case c = GetParam();
    SrcStream stream(c.mode, c.channels);
    const int32_t delay = UloSrc_GetDelay(stream.handle());
    ASSERT_GT(delay, 0);
    const size_t blocks[] = {1000, 4321, 1, 9000, 3};
    const auto input = white_noise(14325 * c.channels, 12000, 7); // the blocks' frames
    size_t in_frames = 0;
    size_t out_frames = 0;
    for (size_t block : blocks) {
        const auto out = stream.run(std::span(input).subspan(in_frames * c.channels, block * c.channels));
        in_frames += block;
        out_frames += out.size() / c.channels;
        EXPECT_EQ(out_frames, c.out_frames(in_frames)) << "after " << in_frames << " input frames";
    }
    const size_t tail = stream.flush().size() / c.channels;
    EXPECT_NEAR(static_cast<double>(tail), delay, 1.0);
    EXPECT_LE(tail, ULO_SRC_FLUSH_MAX_FRAMES);
}

TEST_P(ConverterStream, ImpulseComesOutAfterTheStatedDelay)
{
    const Case c = GetParam();
    // 480 input frames are a whole number of output frames at every ratio.
    constexpr size_t kAt = 480;
    for (uint32_t quality : {ULO_SRC_QUALITY_DEFAULT, ULO_SRC_QUALITY_LEVEL(0), ULO_SRC_QUALITY_LEVEL(10)}) {
        SCOPED_TRACE("quality " + std::to_string(quality));
        SrcStream stream(c.mode, c.channels, quality);
        std::vector<int16_t> input(2 * kAt * c.channels);
        input[kAt * c.channels + c.channels - 1] = 20000; // last channel only
        auto out = stream.run(input);
        const auto tail = stream.flush();
        out.insert(out.end(), tail.begin(), tail.end());
        size_t peak = 0;
        for (size_t i = 0; i < out.size() / c.channels; i++) {
            if (std::abs(out[i * c.channels + c.channels - 1]) > std::abs(out[peak * c.channels + c.channels - 1])) {
                peak = i;
            }
        }
        EXPECT_NEAR(static_cast<double>(peak), c.out_frames(kAt) + UloSrc_GetDelay(stream.handle()), 1.0);
        if (c.channels == 2) {
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [&, i = size_t{0}](int16_t s) mutable {
                return i++ % 2 == 1 || s == 0;
            })) << "the left channel stays silent";
        }
    }
}

TEST_P(ConverterStream, BlockSizesDoNotChangeTheStream)
{
    const Case c = GetParam();
    const auto input = white_noise(static_cast<size_t>(c.in_rate() / 20) * c.channels, 20000, 3);
    const auto reference = convert_stream(c.mode, c.channels, input, {});
    struct Schedule {
        const char *name;
        std::vector<size_t> frames;
        size_t offset;
    };
    const Schedule schedules[] = {
        {"one frame", {1}, 0},
        {"odd sizes", {7, 1, 331, 13, 2, 97}, 0},
        {"odd sizes, odd address", {5, 255, 257, 3}, 1},
        {"large", {2049, 100000}, 0},
    };
    for (const auto &s : schedules) {
        EXPECT_EQ(convert_stream(c.mode, c.channels, input, s.frames, ULO_SRC_QUALITY_DEFAULT, s.offset), reference)
            << s.name;
    }
}

TEST_P(ConverterStream, FlushStartsANewStream)
{
    const Case c = GetParam();
    const auto first = white_noise(1000 * c.channels, 15000, 11);
    const auto second = white_noise(700 * c.channels, 15000, 12);
    SrcStream stream(c.mode, c.channels);
    stream.run(first);
    stream.flush();
    auto again = stream.run(second);
    const auto tail = stream.flush();
    again.insert(again.end(), tail.begin(), tail.end());
    EXPECT_EQ(again, convert_stream(c.mode, c.channels, second, {}));
}

TEST_P(ConverterStream, HighestQualityStaysWithinCapacity)
{
    const Case c = GetParam();
    // The longest filter holds back the most: its flush is the largest.
    const auto input = white_noise(3001 * c.channels, 32767, 5);
    const auto out = convert_stream(c.mode, c.channels, input, {1, 640, 17}, ULO_SRC_QUALITY_MAX);
    SrcStream stream(c.mode, c.channels, ULO_SRC_QUALITY_MAX);
    EXPECT_NEAR(static_cast<double>(out.size() / c.channels), c.out_frames(3001) + UloSrc_GetDelay(stream.handle()),
                1.0);
}

INSTANTIATE_TEST_SUITE_P(AllModes, ConverterStream, testing::ValuesIn(all_cases()), case_name);

} // namespace
