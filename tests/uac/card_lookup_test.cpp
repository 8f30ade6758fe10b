// XU_UAC_Config looks the gadget card up in "/proc/asound/cards", here the
// file of a fake /proc given to each case.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_tinyalsa.h"
#include "uac_test_support.h"
#include "xu_uac.h"

namespace {

// What one XU_UAC_Config call did, as text the parent can compare.
std::string config_outcome()
{
    UAC_CONFIG_S record;
    std::memset(&record, 0xee, sizeof(record));
    CaptureFd out(1);
    XU_UAC_Config(&record, PCM_NONBLOCK, 2, 48000, 1024, 4, PCM_FORMAT_S16_LE);
    const std::string printed = out.finish();
    const pcm_config &c = record.config;
    return "card=" + std::to_string(record.card) + " device=" + std::to_string(record.device) +
           " flags=" + std::to_string(record.flags) + " " + std::to_string(c.channels) + "/" + std::to_string(c.rate) +
           "/" + std::to_string(c.period_size) + "/" + std::to_string(c.period_count) +
           " thr=" + std::to_string(c.start_threshold) + "/" + std::to_string(c.stop_threshold) + "/" +
           std::to_string(c.silence_threshold) + " printed=[" + printed + "]";
}

std::string expect(int card, const std::string &printed)
{
    return "card=" + std::to_string(card) + " device=0 flags=16 2/48000/1024/4 thr=0/0/0 printed=[" + printed + "]";
}

const char *const kTwoCards = " 0 [sunxicodec     ]: sunxi-codec - sunxi-codec\n"
                              "                      sunxi-codec\n"
                              " 1 [UAC1Gadget     ]: UAC1_Gadget - UAC1_Gadget\n"
                              "                      UAC1_Gadget 0\n";

} // namespace

TEST(CardLookupTest, FindsTheGadgetCardInTheCardList)
{
    struct Case {
        const char *what;
        bool file_exists;
        std::string cards;
        std::string outcome;
    };
    const std::string long_prefix(300, 'x');
    const Case cases[] = {
        {"leading blank", true, " 1 [UAC1Gadget     ]: UAC1_Gadget\n", expect(1, "uac_config->card=1\n")},
        {"second card of two", true, kTwoCards, expect(1, "uac_config->card=1\n")},
        {"no gadget line", true, " 0 [sunxicodec     ]: sunxi-codec\n", expect(0, "")},
        {"empty list", true, "", expect(0, "")},
        {"no file", false, "", expect(0, "")},
        {"id with a suffix", true, " 3 [UAC1Gadget_2   ]: UAC1_Gadget\n", expect(3, "uac_config->card=3\n")},
        {"first of two matching lines", true, " 4 [UAC1Gadget     ]: a\n 5 [UAC1Gadget     ]: b\n",
         expect(4, "uac_config->card=4\n")},
        {"low 8 bits of 300", true, "300 [UAC1Gadget     ]: UAC1_Gadget\n", expect(44, "uac_config->card=44\n")},
        {"low 8 bits of a huge number", true, "99999999999999999999 [UAC1Gadget]\n",
         expect(255, "uac_config->card=255\n")}, // 10^20 - 1 = 255 modulo 256
        {"no leading number", true, "  x1 [UAC1Gadget     ]\n", expect(0, "uac_config->card=0\n")},
        {"tab before the number", true, "\t7 [UAC1Gadget     ]\n", expect(7, "uac_config->card=7\n")},
        // Read in 255-character pieces: the piece that holds the id starts mid-line.
        {"id beyond the first read", true, " 2 " + long_prefix + "[UAC1Gadget]\n", expect(0, "uac_config->card=0\n")},
        {"no closing bracket needed", true, "6 [UAC1Gadget", expect(6, "uac_config->card=6\n")},
        {"other case does not match", true, "6 [uac1gadget]\n", expect(0, "")},
    };
    for (const Case &c : cases) {
        ProcFiles files;
        if (c.file_exists) {
            files.emplace_back("asound/cards", c.cards);
        } else {
            files.emplace_back("asound/version", "Advanced Linux Sound Architecture Driver Version k6.1.\n");
        }
        const ProcRun run = run_with_proc(files, config_outcome);
        ASSERT_TRUE(run.ok) << c.what << ": " << run.output;
        EXPECT_EQ(run.output, c.outcome) << c.what;
    }
}

TEST(CardLookupTest, EveryConfigCallLooksAgain)
{
    const ProcRun run = run_with_proc({{"asound/cards", kTwoCards}}, [] {
        std::string printed;
        for (int i = 0; i < 3; i++) {
            UAC_CONFIG_S record{};
            CaptureFd out(1);
            XU_UAC_Config(&record, PCM_IN, 2, 48000, 1024, 4, 0);
            printed += out.finish();
        }
        return printed;
    });
    EXPECT_EQ(run.output, "uac_config->card=1\nuac_config->card=1\nuac_config->card=1\n");
}

TEST(CardLookupTest, StreamOpensOnTheCardFound)
{
    const ProcRun run = run_with_proc({{"asound/cards", kTwoCards}}, [] {
        fake_tinyalsa::reset();
        UAC_CONFIG_S record{};
        CaptureFd out(1);
        XU_UAC_Config(&record, PCM_IN, 2, 48000, 1024, 4, 0);
        UAC_HANDLE_S *handle = nullptr;
        const int status = XU_UAC_Init(&handle, &record);
        const std::string text = std::to_string(status) + " " + fake_tinyalsa::state().streams.at(0).open.node() + " " +
                                 std::to_string(handle->magic);
        XU_UAC_Uninit(handle);
        return text;
    });
    EXPECT_EQ(run.output, "0 /dev/snd/pcmC1D0c " + std::to_string(0xEFDA0100u));
}
