// How the converter's calls treat unsuitable arguments and the end of a
// converter's life.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "ulo_src.h"

namespace {

constexpr uint32_t kMode48To16 = 10;

struct Buffer {
    explicit Buffer(uint32_t mode) : bytes(malloc(UloSrc_GetBufferSize(mode))) {}
    ~Buffer() { free(bytes); }
    void *bytes;
};

TEST(ConverterApi, BufferSizeOnlyForKnownModes)
{
    for (uint32_t mode = 0; mode < ULO_SRC_MODE_COUNT; mode++) {
        EXPECT_GT(UloSrc_GetBufferSize(mode), 0u) << mode;
    }
    EXPECT_EQ(UloSrc_GetBufferSize(ULO_SRC_MODE_COUNT), 0u);
    EXPECT_EQ(UloSrc_GetBufferSize(0xFFFFFFFF), 0u);
}

TEST(ConverterApi, ModeRatesFollowTheTable)
{
    const uint32_t expected[ULO_SRC_MODE_COUNT][2] = {{8, 16}, {8, 32},  {8, 48},  {16, 8}, {16, 32}, {16, 48},
                                                      {32, 8}, {32, 16}, {32, 48}, {48, 8}, {48, 16}, {48, 32}};
    for (uint32_t mode = 0; mode < ULO_SRC_MODE_COUNT; mode++) {
        EXPECT_EQ(UloSrc_ModeInKHz(mode), expected[mode][0]) << mode;
        EXPECT_EQ(UloSrc_ModeOutKHz(mode), expected[mode][1]) << mode;
    }
    EXPECT_EQ(UloSrc_ModeInKHz(12), 0u);
    EXPECT_EQ(UloSrc_ModeOutKHz(12), 0u);
    EXPECT_EQ(UloSrc_CapacityBytes(12, 2, 4096), 0u);
}

TEST(ConverterApi, CapacityCoversInputAndOutput)
{
    struct Row {
        uint32_t mode, channels, len;
        uint64_t capacity;
    } rows[] = {
        {2, 2, 4096, 6 * 4096}, // 8 -> 48: six times the input
        {10, 2, 4096, 4096},    // 48 -> 16: the input is the larger
        {11, 1, 6, 6},          // 48 -> 32: 3 frames in, 2 out
        {8, 1, 6, 10},          // 32 -> 48: 3 frames in, ceil(4.5) out
        {5, 2, 0, ULO_SRC_FLUSH_MAX_FRAMES * 4},
        {2, 2, 0xFFFFFFFC, 6ull * 0xFFFFFFFC}, // no overflow
    };
    for (const auto &r : rows) {
        EXPECT_EQ(UloSrc_CapacityBytes(r.mode, r.channels, r.len), r.capacity) << r.mode << " " << r.len;
    }
}

TEST(ConverterApi, InitRefusesUnsuitableParameters)
{
    const ULO_SRC_PARAM_S good{48, kMode48To16, ULO_SRC_FLAG_S16LE_INTERLEAVED, 2, ULO_SRC_QUALITY_DEFAULT};
    struct Row {
        const char *what;
        ULO_SRC_PARAM_S param;
    } rows[] = {
        {"mode 12", {48, 12, 1, 2, 0}},
        {"rate not the mode's", {16, kMode48To16, 1, 2, 0}},
        {"flag 0", {48, kMode48To16, 0, 2, 0}},
        {"flag 2", {48, kMode48To16, 2, 2, 0}},
        {"no channels", {48, kMode48To16, 1, 0, 0}},
        {"3 channels", {48, kMode48To16, 1, 3, 0}},
        {"quality past the highest", {48, kMode48To16, 1, 2, ULO_SRC_QUALITY_MAX + 1}},
    };
    Buffer buffer(kMode48To16);
    for (const auto &r : rows) {
        EXPECT_EQ(UloSrc_Init(buffer.bytes, &r.param), nullptr) << r.what;
    }
    EXPECT_EQ(UloSrc_Init(nullptr, &good), nullptr) << "no buffer";
    EXPECT_EQ(UloSrc_Init(buffer.bytes, nullptr), nullptr) << "no parameters";
    EXPECT_EQ(UloSrc_Init(static_cast<char *>(buffer.bytes) + 1, &good), nullptr) << "misaligned buffer";
    void *handle = UloSrc_Init(buffer.bytes, &good);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(UloSrc_Release(handle), 0);
}

TEST(ConverterApi, EveryQualityBuildsWithItsOwnDelay)
{
    int32_t previous = 0;
    for (uint32_t level = 0; level <= 10; level++) {
        Buffer buffer(kMode48To16);
        const ULO_SRC_PARAM_S param{48, kMode48To16, 1, 1, ULO_SRC_QUALITY_LEVEL(level)};
        void *handle = UloSrc_Init(buffer.bytes, &param);
        ASSERT_NE(handle, nullptr) << level;
        EXPECT_GE(UloSrc_GetDelay(handle), previous) << "longer filters, longer delay";
        previous = UloSrc_GetDelay(handle);
        EXPECT_EQ(UloSrc_Release(handle), 0);
    }
}

TEST(ConverterApi, DefaultDelaysAreTheDocumentedOnes)
{
    // The table in ulo_src.h, mode by mode.
    const int32_t documented[ULO_SRC_MODE_COUNT] = {80, 160, 240, 40, 80, 120, 40, 40, 60, 40, 40, 40};
    for (uint32_t mode = 0; mode < ULO_SRC_MODE_COUNT; mode++) {
        Buffer buffer(mode);
        const ULO_SRC_PARAM_S param{UloSrc_ModeInKHz(mode), mode, 1, 2, ULO_SRC_QUALITY_DEFAULT};
        void *handle = UloSrc_Init(buffer.bytes, &param);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(UloSrc_GetDelay(handle), documented[mode]) << "mode " << mode;
        EXPECT_EQ(UloSrc_Release(handle), 0);
    }
}

class ConverterRun : public testing::Test {
protected:
    void SetUp() override
    {
        const ULO_SRC_PARAM_S param{48, kMode48To16, 1, 2, 0};
        handle = UloSrc_Init(buffer.bytes, &param);
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override { EXPECT_EQ(UloSrc_Release(handle), 0); }
    Buffer buffer{kMode48To16};
    void *handle = nullptr;
    std::vector<int16_t> data = std::vector<int16_t>(ULO_SRC_FLUSH_MAX_FRAMES * 2, 100);
};

TEST_F(ConverterRun, FailuresReportNoOutput)
{
    struct Row {
        const char *what;
        bool null_handle, null_data;
        uint32_t len;
    } rows[] = {
        {"null handle", true, false, 4},          {"null data", false, true, 4},
        {"null data on a flush", false, true, 0}, {"half a frame", false, false, 2},
        {"a frame and a half", false, false, 6},
    };
    for (const auto &r : rows) {
        int32_t count = 1234;
        EXPECT_EQ(UloSrc_Run(r.null_handle ? nullptr : handle, r.null_data ? nullptr : data.data(), r.len, &count), -1)
            << r.what;
        EXPECT_EQ(count, 0) << r.what;
    }
    EXPECT_EQ(UloSrc_Run(handle, data.data(), 4, nullptr), -1) << "no count";
    int32_t count = -1;
    EXPECT_EQ(UloSrc_Run(handle, data.data(), 4, &count), 0) << "the converter still works";
}

TEST_F(ConverterRun, OutputBeyondCountRangeIsRefused)
{
    // 8 -> 48 kHz of 1 GiB would yield 6 GiB, more than a count can say.
    Buffer up(2);
    const ULO_SRC_PARAM_S param{8, 2, 1, 2, 0};
    void *up_handle = UloSrc_Init(up.bytes, &param);
    ASSERT_NE(up_handle, nullptr);
    int32_t count = -1;
    EXPECT_EQ(UloSrc_Run(up_handle, data.data(), 0x40000000, &count), -1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(UloSrc_Release(up_handle), 0);
}

TEST(ConverterLife, ReleaseTwiceAndUseAfterRelease)
{
    Buffer buffer(kMode48To16);
    const ULO_SRC_PARAM_S param{48, kMode48To16, 1, 1, 0};
    void *handle = UloSrc_Init(buffer.bytes, &param);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(UloSrc_Release(handle), 0);
    EXPECT_EQ(UloSrc_Release(handle), 0);
    std::vector<int16_t> data(64);
    int32_t count = 1;
    EXPECT_EQ(UloSrc_Run(handle, data.data(), 8, &count), -1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(UloSrc_GetDelay(handle), -1);
    EXPECT_EQ(UloSrc_Release(nullptr), -1);
    EXPECT_EQ(UloSrc_GetDelay(nullptr), -1);
}

TEST(ConverterLife, ABufferCanBeBuiltAgainAfterRelease)
{
    Buffer buffer(kMode48To16);
    for (uint32_t channels : {1u, 2u}) {
        const ULO_SRC_PARAM_S param{48, kMode48To16, 1, channels, 0};
        void *handle = UloSrc_Init(buffer.bytes, &param);
        ASSERT_NE(handle, nullptr);
        std::vector<int16_t> data(6 * channels, 1000);
        int32_t count = 0;
        EXPECT_EQ(UloSrc_Run(handle, data.data(), 6 * channels * 2, &count), 0);
        EXPECT_EQ(count, static_cast<int32_t>(2 * channels * 2)) << "6 frames in, 2 out";
        EXPECT_EQ(UloSrc_Release(handle), 0);
    }
}

} // namespace
