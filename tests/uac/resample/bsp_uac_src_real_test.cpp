// The wrapper over the real converter library: a block goes in at one rate
// and comes out at the other.
#include <gtest/gtest.h>

#include <vector>

#include "bsp_uac_src.h"
#include "ulo_src.h"

namespace {

TEST(UacSrcWithConverter, ConvertsBlocksAndFlushes)
{
    struct Row {
        uint32_t in, out, channels, mode;
    } rows[] = {{48000, 16000, 2, 10}, {16000, 48000, 1, 5}, {8999, 32999, 2, 1}};
    for (const auto &r : rows) {
        UAC_SRC_S record{r.in, r.out, r.channels, 0, nullptr, nullptr};
        ASSERT_EQ(BSP_UacSrcInit(&record), 0);
        const uint32_t frames = 960;
        const uint32_t len = frames * r.channels * 2;
        std::vector<uint8_t> data(UloSrc_CapacityBytes(r.mode, r.channels, len), 0x11);
        const uint32_t out_frames = frames * (r.out / 1000) / (r.in / 1000);
        EXPECT_EQ(BSP_UacSrcProcess(&record, data.data(), len), static_cast<int32_t>(out_frames * r.channels * 2));
        std::vector<uint8_t> tail(UloSrc_CapacityBytes(r.mode, r.channels, 0));
        EXPECT_EQ(BSP_UacSrcProcess(&record, tail.data(), 0),
                  UloSrc_GetDelay(record.pSrcHandle) * static_cast<int32_t>(r.channels * 2));
        EXPECT_EQ(BSP_UacSrcDeinit(&record), 0);
    }
}

TEST(UacSrcWithConverter, AQualityTheConverterDoesNotKnowFailsCreation)
{
    UAC_SRC_S record{48000, 16000, 2, ULO_SRC_QUALITY_MAX + 1, nullptr, nullptr};
    EXPECT_EQ(BSP_UacSrcInit(&record), -1);
    EXPECT_EQ(record.pSrcHandle, nullptr);
    EXPECT_EQ(BSP_UacSrcDeinit(&record), 0);
}

// Every mode, block sizes that are not whole periods and the flush, each in
// a heap buffer of exactly the stated capacity: under AddressSanitizer a
// single byte written past it fails the test.
TEST(UacSrcWithConverter, ABufferOfTheStatedCapacityIsNeverOverrun)
{
    const uint32_t rates[] = {8000, 16000, 32000, 48000};
    for (uint32_t in : rates) {
        for (uint32_t out : rates) {
            if (in == out) {
                continue;
            }
            for (uint32_t channels : {1u, 2u}) {
                UAC_SRC_S record{in, out, channels, 0, nullptr, nullptr};
                ASSERT_EQ(BSP_UacSrcInit(&record), 0);
                for (uint32_t len : {2048u, 4u, 4096u + 4u, 160u * 4u, 0u, 1000u * 4u, 0u}) {
                    len -= len % (channels * 2);
                    const uint32_t capacity = BSP_UacSrcGetCapacity(&record, len);
                    ASSERT_GE(capacity, len);
                    std::vector<uint8_t> buffer(capacity, 0x22);
                    const int32_t bytes = BSP_UacSrcProcess(&record, buffer.data(), len);
                    EXPECT_GE(bytes, 0) << in << " -> " << out << ", " << len;
                    EXPECT_LE(static_cast<uint32_t>(bytes), capacity) << in << " -> " << out << ", " << len;
                }
                EXPECT_EQ(BSP_UacSrcDeinit(&record), 0);
            }
        }
    }
}

} // namespace
