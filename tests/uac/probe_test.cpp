// The stream-status probe: the acceptance test, the extraction of one value
// from a line, and the walk over "/proc/asound/card<N>/stream0", whose
// files a fake /proc holds.
#include <gtest/gtest.h>

#include <climits>

#include "bsp_uac.h"
#include "uac_test_support.h"

TEST(ProbeValueTest, AcceptsOneOrTwoChannelsAndRatesInTheFourBands)
{
    struct Case {
        uint32_t value;
        const char *key;
        int32_t verdict;
    };
    const Case cases[] = {
        {0, "Channel", -1},   {1, "Channel", 0},        {2, "Channel", 0},  {3, "Channel", -1},
        {6, "Channel", -1},   {7999, "Rate", -1},       {8000, "Rate", 0},  {8999, "Rate", 0},
        {9000, "Rate", -1},   {15999, "Rate", -1},      {16000, "Rate", 0}, {16999, "Rate", 0},
        {17000, "Rate", -1},  {32000, "Rate", 0},       {32999, "Rate", 0}, {44100, "Rate", -1},
        {47999, "Rate", -1},  {48000, "Rate", 0},       {48999, "Rate", 0}, {49000, "Rate", -1},
        {0, "Rate", -1},      {UINT32_MAX, "Rate", -1}, {2, "Rate", -1},    {48000, "Channel", -1},
        {12345, "Format", 0}, {6, "Channels", 0},       {6, "channel", 0},  {0, "", 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(_BSP_UAC_CheckValue(c.value, c.key), c.verdict) << c.key << " " << c.value;
    }
}

TEST(ProbeValueTest, LastAcceptableNumberAfterTheKeyWins)
{
    constexpr uint32_t kUntouched = 777;
    struct Case {
        const char *line;
        const char *key;
        uint32_t value;
        int32_t verdict;
    };
    const Case cases[] = {
        {"  Rates: 8000, 16000, 48000\n", "Rate", 48000, 0},
        {"  Rates: 48000, 8000\n", "Rate", 8000, 0},
        {"  Rates: 16000, 9000\n", "Rate", 16000, -1}, // verdict on the last number examined
        {"  Rates: 9000\n", "Rate", kUntouched, -1},
        {"  Channels: 6\n", "Channel", kUntouched, -1},
        {"  Channels: 2\n", "Channel", 2, 0},
        {"Rate 2 16000", "Rate", 16000, 0},
        {"  Format: S16_LE\n", "Rate", kUntouched, 0}, // key absent
        {"48000 Rate: 16000\n", "Rate", 16000, 0},     // numbers before the key do not count
        {"16000 Rate\n", "Rate", kUntouched, -1},
        {"Rate: 16000 Rate: 8000\n", "Rate", 8000, 0},
        {"rate: 16000\n", "Rate", kUntouched, 0}, // case-sensitive
        {"Rate:16000/32000", "Rate", 32000, 0},
        {"Rate: -16000", "Rate", 16000, 0}, // a sign only separates
        {"Channels: 2ch, 6ch", "Channel", 2, -1},
        // Runs longer than 7 digits are skipped whole, never cut to fit.
        {"Rate: 00016000\n", "Rate", kUntouched, -1},
        {"Rate: 0016000\n", "Rate", 16000, 0},
        {"Rate: 123456789012345678901234567890 16000", "Rate", 16000, 0},
        {"Rate: 16000 99999999", "Rate", 16000, 0},
        // At most 8 numbers a line: later ones are ignored.
        {"Channel 3 3 3 3 3 3 3 3 2 2 2 2", "Channel", kUntouched, -1},
        {"Channel 3 3 3 3 3 3 3 2 1 1 1 1", "Channel", 2, 0},
        {"Rate 1 2 3 4 5 6 7 16000 99999999 8000", "Rate", 16000, 0},
    };
    for (const Case &c : cases) {
        uint32_t value = kUntouched;
        EXPECT_EQ(_BSP_UAC_GetValue(c.line, &value, c.key), c.verdict) << c.line;
        EXPECT_EQ(value, c.value) << c.line;
    }
}

namespace {

struct StatusCase {
    const char *what;
    std::string file; // stream0's content
    int32_t direction;
    // Expected: "<result> <pbch>/<pbrate>/<capch>/<caprate> [<stdout>]"
    std::string outcome;
};

constexpr uint32_t kSentinel = 0xAAAA; // shown as 43690

std::string probe_outcome(int32_t direction, int32_t card)
{
    UAC_STREAM_STAT_S stat{kSentinel, kSentinel, kSentinel, kSentinel};
    CaptureFd out(1);
    const int32_t result = _BSP_UacGetCardStatus(direction, card, &stat);
    return std::to_string(result) + " " + std::to_string(stat.u32PlaybackChannels) + "/" +
           std::to_string(stat.u32PlaybackRate) + "/" + std::to_string(stat.u32CaptureChannels) + "/" +
           std::to_string(stat.u32CaptureRate) + " [" + out.finish() + "]";
}

const std::string kBoth = "UAC1_Gadget 0 at usb\n\nPlayback:\n  Status: Running\n  Channels: 2\n  Rates: 48000\n"
                          "Capture:\n  Status: Stop\n  Channels: 1\n  Rates: 16000\n";

std::string capture_rates(const std::string &rates)
{
    return "Capture:\n  Channels: 2\n  Rates: " + rates + "\n";
}

// A NUL ends what the line search sees of a piece.
const char kWithNuls[] = "Capture:\n Chan\0nel 2\n Channel 1\n Rate\0 8000\n Rate 16000\n";

const std::string kPbFail = "Playback status not support!\n";
const std::string kCapFail = "Capture status not support!\n";

} // namespace

TEST(ProbeStatusFileTest, ReadsTheSelectedFormatOfOneDirection)
{
    const std::string pad23(23, 'x');
    const std::string pad19(19, 'x');
    const std::string pad20(20, 'x');
    const StatusCase cases[] = {
        {"both sections, playback", kBoth, 1, "0 2/48000/43690/43690 []"},
        {"both sections, capture", kBoth, 0, "0 43690/43690/1/16000 []"},
        {"any direction but 1 is capture", kBoth, 2, "0 43690/43690/1/16000 []"},
        {"negative direction is capture", kBoth, -1, "0 43690/43690/1/16000 []"},
        {"rising rates", capture_rates("8000, 16000, 48000"), 0, "0 43690/43690/2/48000 []"},
        {"falling rates", capture_rates("48000, 8000"), 0, "0 43690/43690/2/8000 []"},
        {"refused rate last", capture_rates("16000, 9000"), 0, "0 43690/43690/2/16000 []"},
        {"only 9000", capture_rates("9000"), 0, "-1 43690/43690/2/0 [" + kCapFail + "]"},
        {"band end 8999", capture_rates("8999"), 0, "0 43690/43690/2/8999 []"},
        {"band end 48999", capture_rates("48999"), 0, "0 43690/43690/2/48999 []"},
        {"9000 out", capture_rates("9000"), 0, "-1 43690/43690/2/0 [" + kCapFail + "]"},
        {"15999 out", capture_rates("15999"), 0, "-1 43690/43690/2/0 [" + kCapFail + "]"},
        {"47999 out", capture_rates("47999"), 0, "-1 43690/43690/2/0 [" + kCapFail + "]"},
        {"49000 out", capture_rates("49000"), 0, "-1 43690/43690/2/0 [" + kCapFail + "]"},
        {"six channels", "Playback:\n  Channels: 6\n  Rates: 48000\n", 1, "-1 0/48000/43690/43690 [" + kPbFail + "]"},
        {"key, 2, then 16000", "Capture:\n Channels: 1\n Rate 2 16000\n", 0, "0 43690/43690/1/16000 []"},
        {"opening line not searched", "Capture: Channels 2 Rate 32000\n", 0, "-1 43690/43690/0/0 [" + kCapFail + "]"},
        {"opening line not searched, later lines are", "Capture: Channels 2 Rate 32000\n Channels: 1\n Rate: 8000\n", 0,
         "0 43690/43690/1/8000 []"},
        {"no section", "  Channels: 2\n  Rates: 48000\n", 0, "-1 43690/43690/0/0 [" + kCapFail + "]"},
        {"empty file", "", 1, "-1 0/0/43690/43690 [" + kPbFail + "]"},
        {"capture has no end", "Capture:\n Channels: 1\nPlayback:\n Rates: 16000\n", 0, "0 43690/43690/1/16000 []"},
        {"playback ends after the Capture line was searched",
         "Playback:\n Channels: 2\n Capture Rate 48000\n Rate 16000\n", 1, "0 2/48000/43690/43690 []"},
        {"a later Playback line opens the section again",
         "Playback:\nCapture:\n Rate 8000\nPlayback:\n Channels 1\n Rate 32000\n", 1, "0 1/32000/43690/43690 []"},
        {"values of the capture section are not playback's", "Playback:\nCapture:\n Channels 1\n Rate 32000\n", 1,
         "-1 0/0/43690/43690 [" + kPbFail + "]"},
        // A 40-character line arrives as pieces of 31 and 9 characters.
        {"number in the second piece without the key", "Playback:\n Channels: 2\n Rates: " + pad23 + "   16000\n", 1,
         "-1 2/0/43690/43690 [" + kPbFail + "]"},
        {"number cut at the boundary", "Playback:\n Channels: 2\n Rates: " + pad20 + " 48000 Rate\n", 1,
         "-1 2/0/43690/43690 [" + kPbFail + "]"},
        {"second piece holding the key", "Playback:\n Channels: 2" + pad19 + "Rate8000\n", 1,
         "0 2/8000/43690/43690 []"},
        {"key cut at the boundary", "Playback:\n Channels: 2\n" + std::string(29, ' ') + "RaRate 8000\n", 1,
         "0 2/8000/43690/43690 []"},
        {"8-digit run", capture_rates("00016000"), 0, "-1 43690/43690/2/0 [" + kCapFail + "]"},
        {"7-digit run", capture_rates("0016000"), 0, "0 43690/43690/2/16000 []"},
        {"twelve numbers, the acceptable ones late", "Capture:\nChannel3,3,3,3,3,3,3,3,2,2,2,2\n Rate 8000\n", 0,
         "-1 43690/43690/0/8000 [" + kCapFail + "]"},
        {"twelve numbers, the eighth acceptable", "Capture:\nChannel3,3,3,3,3,3,3,2,3,3,3,3\n Rate 8000\n", 0,
         "0 43690/43690/2/8000 []"},
        {"NUL bytes in the file", std::string(kWithNuls, sizeof(kWithNuls) - 1), 0, "0 43690/43690/1/16000 []"},
    };
    ProcFiles files;
    for (std::size_t i = 0; i < std::size(cases); i++) {
        files.emplace_back("asound/card" + std::to_string(i) + "/stream0", cases[i].file);
    }
    const ProcRun run = run_with_proc(files, [&] {
        std::string outcomes;
        for (std::size_t i = 0; i < std::size(cases); i++) {
            outcomes += probe_outcome(cases[i].direction, static_cast<int32_t>(i)) + "\n";
        }
        return outcomes;
    });
    ASSERT_TRUE(run.ok) << run.output;
    std::size_t start = 0;
    for (const StatusCase &c : cases) {
        std::size_t end = run.output.find("]\n", start);
        ASSERT_NE(end, std::string::npos) << c.what;
        EXPECT_EQ(run.output.substr(start, end + 1 - start), c.outcome) << c.what;
        start = end + 2;
    }
}

TEST(ProbeStatusFileTest, MissingFileNamesItsFullPathAndLeavesTheRecordAlone)
{
    const ProcRun run = run_with_proc({{"asound/card0/stream0", "Playback:\n Channels 2\n Rate 48000\n"}}, [] {
        return probe_outcome(1, 7) + probe_outcome(0, 255) + probe_outcome(1, -1) + probe_outcome(0, INT32_MIN);
    });
    EXPECT_EQ(run.output, "-1 43690/43690/43690/43690 [file /proc/asound/card7/stream0 not exist!\n]"
                          "-1 43690/43690/43690/43690 [file /proc/asound/card255/stream0 not exist!\n]"
                          "-1 43690/43690/43690/43690 [file /proc/asound/card-1/stream0 not exist!\n]"
                          "-1 43690/43690/43690/43690 [file /proc/asound/card-2147483648/stream0 not exist!\n]");
}
