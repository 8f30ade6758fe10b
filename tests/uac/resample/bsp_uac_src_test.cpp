// The conversion wrapper against a scripted converter: what it checks, what
// it hands to the converter, and the states a record goes through.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bsp_uac_src.h"
#include "capture_output.h"
#include "fake_ulo_src.h"

using fake_ulo_src::state;

namespace {

class UacSrc : public testing::Test {
protected:
    void SetUp() override { fake_ulo_src::reset(); }
};

bool params_equal(const ULO_SRC_PARAM_S &a, const ULO_SRC_PARAM_S &b)
{
    return a.u32InRateKHz == b.u32InRateKHz && a.u32ConvertMode == b.u32ConvertMode && a.u32Flag == b.u32Flag &&
           a.u32Channels == b.u32Channels && a.u32ConvArg == b.u32ConvArg;
}

TEST_F(UacSrc, InitHandsTheConverterItsParameters)
{
    struct Row {
        UAC_SRC_S record;
        ULO_SRC_PARAM_S param;
    } rows[] = {
        {{48000, 16000, 2, 0x1234, nullptr, nullptr}, {48, 10, 1, 2, 0x1234}},
        {{16000, 48000, 1, 0, nullptr, nullptr}, {16, 5, 1, 1, 0}},
        {{8999, 32999, 2, 7, nullptr, nullptr}, {8, 1, 1, 2, 7}},
        {{32500, 8000, 1, 0xFFFFFFFF, nullptr, nullptr}, {32, 6, 1, 1, 0xFFFFFFFF}},
    };
    for (auto &r : rows) {
        fake_ulo_src::reset();
        CaptureStdout out;
        ASSERT_EQ(BSP_UacSrcInit(&r.record), 0);
        EXPECT_EQ(out.finish(), "");
        ASSERT_EQ(state().params.size(), 1u);
        EXPECT_TRUE(params_equal(state().params[0], r.param))
            << r.record.u32InRate << " -> " << r.record.u32OutRate << ": got " << state().params[0].u32InRateKHz << ", "
            << state().params[0].u32ConvertMode << ", " << state().params[0].u32Flag << ", "
            << state().params[0].u32Channels << ", " << state().params[0].u32ConvArg;
        EXPECT_EQ(state().size_queries, std::vector<uint32_t>{r.param.u32ConvertMode});
        EXPECT_EQ(state().init_buffers, std::vector<void *>{r.record.workingbufptr});
        EXPECT_EQ(r.record.pSrcHandle, fake_ulo_src::handle_for(r.record.workingbufptr));
        EXPECT_EQ(BSP_UacSrcDeinit(&r.record), 0);
        EXPECT_EQ(state().releases, std::vector<void *>{fake_ulo_src::handle_for(state().init_buffers[0])});
        EXPECT_EQ(r.record.pSrcHandle, nullptr);
        EXPECT_EQ(r.record.workingbufptr, nullptr);
    }
}

TEST_F(UacSrc, RefusedRequestsAllocateNothing)
{
    struct Row {
        uint32_t in, out, channels;
        const char *message;
    } rows[] = {
        {16000, 16000, 2, "not support convert mode!\n"}, {48000, 48000, 1, "not support convert mode!\n"},
        {16000, 16999, 1, "not support convert mode!\n"}, {9000, 16000, 2, "not support input rate\n"},
        {7999, 16000, 2, "not support input rate\n"},     {0, 16000, 2, "not support input rate\n"},
        {44100, 48000, 2, "not support input rate\n"},    {9000, 44100, 5, "not support input rate\n"},
        {16000, 49000, 2, "not support output rate\n"},   {16000, 0xFFFFFFFF, 2, "not support output rate\n"},
        {16000, 48000, 0, "invalid channel!\n"},          {16000, 48000, 3, "invalid channel!\n"},
    };
    for (const auto &r : rows) {
        UAC_SRC_S record{r.in, r.out, r.channels, 9, nullptr, nullptr};
        CaptureStdout out;
        EXPECT_EQ(BSP_UacSrcInit(&record), -1);
        EXPECT_EQ(out.finish(), r.message) << r.in << " -> " << r.out << ", " << r.channels << " channels";
        EXPECT_EQ(record.pSrcHandle, nullptr);
        EXPECT_EQ(record.workingbufptr, nullptr);
    }
    EXPECT_TRUE(state().size_queries.empty());
    EXPECT_TRUE(state().params.empty());
}

TEST_F(UacSrc, CheckAcceptsTheFourBandsAndTwoChannelCounts)
{
    struct Row {
        uint32_t in, out, channels;
        int32_t result;
    } rows[] = {
        {8000, 8999, 1, 0},   {16000, 16999, 2, 0}, {32000, 32999, 1, 0}, {48000, 48999, 2, 0},
        {48000, 48000, 2, 0}, // equal rates pass the check; the mode lookup refuses them
        {17000, 8000, 1, -1}, {31999, 8000, 1, -1}, {8000, 49000, 1, -1}, {8000, 8000, 4, -1},
    };
    for (const auto &r : rows) {
        UAC_SRC_S record{r.in, r.out, r.channels, 0, nullptr, nullptr};
        CaptureStdout out;
        EXPECT_EQ(_BSP_UacSrcCheck(&record), r.result) << r.in << " -> " << r.out << ", " << r.channels;
        EXPECT_EQ(out.finish().empty(), r.result == 0);
    }
}

TEST_F(UacSrc, ConvertModesCountTheRatePairs)
{
    const uint32_t rates[] = {8, 16, 32, 48};
    int32_t expected = 0;
    for (uint32_t in : rates) {
        for (uint32_t out : rates) {
            CaptureStdout captured;
            const int32_t mode = _BSP_GetConvertMode(in, out);
            const std::string text = captured.finish();
            if (in == out) {
                EXPECT_EQ(mode, -1) << in;
                EXPECT_EQ(text, "not support convert mode!\n");
            } else {
                EXPECT_EQ(mode, expected++) << in << " -> " << out;
                EXPECT_EQ(text, "");
            }
        }
    }
    const uint32_t refused[][2] = {{44, 48}, {48, 44}, {0, 8}, {8, 0}, {8000, 16000}, {1, 2}};
    for (const auto &pair : refused) {
        CaptureStdout captured;
        EXPECT_EQ(_BSP_GetConvertMode(pair[0], pair[1]), -1) << pair[0] << " -> " << pair[1];
        EXPECT_EQ(captured.finish(), "not support convert mode!\n");
    }
}

TEST_F(UacSrc, NullRecordsAreRefused)
{
    struct Row {
        const char *call;
        int32_t (*run)();
        const char *message;
    } rows[] = {
        {"check", [] { return _BSP_UacSrcCheck(nullptr); }, "null ptr!\n"},
        {"init", [] { return BSP_UacSrcInit(nullptr); }, "null ptr!\n"},
        {"deinit", [] { return BSP_UacSrcDeinit(nullptr); }, "null ptr!\n"},
        {"process",
         [] {
             int16_t data[4] = {};
             return BSP_UacSrcProcess(nullptr, data, sizeof(data));
         },
         "null input ptr!\n"},
    };
    for (const auto &r : rows) {
        CaptureStdout out;
        EXPECT_EQ(r.run(), -1) << r.call;
        EXPECT_EQ(out.finish(), r.message) << r.call;
    }
    EXPECT_TRUE(state().runs.empty());
    EXPECT_TRUE(state().releases.empty());
}

TEST_F(UacSrc, FailedCreationLeavesAHalfBuiltRecordThatDeinitFrees)
{
    state().init_fails = true;
    UAC_SRC_S record{48000, 16000, 2, 0, nullptr, nullptr};
    {
        CaptureStdout out;
        EXPECT_EQ(BSP_UacSrcInit(&record), -1);
        EXPECT_EQ(out.finish(), "UloSrc init failed!\n");
    }
    EXPECT_EQ(record.pSrcHandle, nullptr);
    ASSERT_NE(record.workingbufptr, nullptr);
    EXPECT_EQ(record.workingbufptr, state().init_buffers.at(0));
    // The leak check of the sanitizer build tells whether the buffer was freed.
    for (int round = 0; round < 2; round++) {
        CaptureStdout out;
        EXPECT_EQ(BSP_UacSrcDeinit(&record), 0) << "round " << round;
        EXPECT_EQ(out.finish(), "");
        EXPECT_EQ(record.pSrcHandle, nullptr);
        EXPECT_EQ(record.workingbufptr, nullptr);
    }
    EXPECT_TRUE(state().releases.empty()) << "no converter, no release";
}

TEST_F(UacSrc, RefusedReleaseKeepsTheRecordForAnotherTry)
{
    UAC_SRC_S record{16000, 48000, 1, 0, nullptr, nullptr};
    ASSERT_EQ(BSP_UacSrcInit(&record), 0);
    const UAC_SRC_S ready = record;
    state().release_result = 1;
    {
        CaptureStdout out;
        EXPECT_EQ(BSP_UacSrcDeinit(&record), -1);
        EXPECT_EQ(out.finish(), "UloSrc release failed!\n");
    }
    EXPECT_EQ(record.pSrcHandle, ready.pSrcHandle);
    EXPECT_EQ(record.workingbufptr, ready.workingbufptr);
    state().release_result = 0;
    EXPECT_EQ(BSP_UacSrcDeinit(&record), 0);
    EXPECT_EQ(state().releases, (std::vector<void *>{ready.pSrcHandle, ready.pSrcHandle}));
    EXPECT_EQ(record.pSrcHandle, nullptr);
    EXPECT_EQ(record.workingbufptr, nullptr);
    EXPECT_EQ(BSP_UacSrcDeinit(&record), 0) << "twice";
    EXPECT_EQ(state().releases.size(), 2u);
}

TEST_F(UacSrc, ProcessPassesTheBlockThroughAndReturnsTheCount)
{
    UAC_SRC_S record{48000, 16000, 2, 0, nullptr, nullptr};
    ASSERT_EQ(BSP_UacSrcInit(&record), 0);
    int16_t data[64] = {};
    struct Row {
        bool writes;
        int32_t count;
        uint32_t len;
        int32_t result;
    } rows[] = {
        {true, 1364, 4096, 1364},
        {true, 0, 0, 0},
        {true, -5, 3, -5},    // whatever the converter says
        {false, 99, 4096, 0}, // the converter wrote nothing: nothing came out
    };
    for (const auto &r : rows) {
        state().runs.clear();
        state().run_writes_count = r.writes;
        state().run_count = r.count;
        CaptureStdout out;
        EXPECT_EQ(BSP_UacSrcProcess(&record, data, r.len), r.result);
        EXPECT_EQ(out.finish(), "");
        ASSERT_EQ(state().runs.size(), 1u);
        EXPECT_EQ(state().runs[0].handle, record.pSrcHandle);
        EXPECT_EQ(state().runs[0].data, static_cast<void *>(data));
        EXPECT_EQ(state().runs[0].len, r.len);
    }
    state().runs.clear();
    {
        CaptureStdout out;
        EXPECT_EQ(BSP_UacSrcProcess(&record, nullptr, 4096), -1);
        EXPECT_EQ(out.finish(), "null input ptr!\n");
    }
    EXPECT_TRUE(state().runs.empty()) << "the converter is not called";
    EXPECT_EQ(BSP_UacSrcDeinit(&record), 0);
}

// The buffer a block needs, asked before or after the converter exists.
TEST_F(UacSrc, CapacityIsTheLargerOfInputAndOutput)
{
    struct Row {
        uint32_t in, out, channels, len, capacity;
    } rows[] = {
        {48000, 16000, 2, 4096, 4096},  // output shorter than the input
        {8000, 48000, 1, 2048, 12288},  // six times the input
        {16000, 48000, 2, 4096, 12288}, // three times
        {8999, 32999, 2, 4097, 16384},  // whole frames only, 8 to 32 kHz
        {16000, 8000, 1, 3, 3},         // a part of a frame: the input itself
        {32000, 48000, 2, 0, 768 * 4},  // the flush
        {48000, 8000, 1, 0, 768 * 2},   // the flush, mono
    };
    for (const auto &r : rows) {
        CaptureStdout out;
        UAC_SRC_S record{r.in, r.out, r.channels, 0, nullptr, nullptr};
        EXPECT_EQ(BSP_UacSrcGetCapacity(&record, r.len), r.capacity) << r.in << " -> " << r.out << ", " << r.len;
        EXPECT_EQ(BSP_UacSrcGetCapacityByRate(r.in, r.out, r.channels, r.len), r.capacity);
        ASSERT_EQ(BSP_UacSrcInit(&record), 0);
        EXPECT_EQ(BSP_UacSrcGetCapacity(&record, r.len), r.capacity) << "the same once the converter exists";
        EXPECT_EQ(BSP_UacSrcDeinit(&record), 0);
        EXPECT_EQ(out.finish(), "");
    }
}

TEST_F(UacSrc, CapacityOfWhatCannotBeConvertedIsZeroAndSilent)
{
    CaptureStdout out;
    EXPECT_EQ(BSP_UacSrcGetCapacity(nullptr, 4096), 0u);
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(16000, 16000, 2, 4096), 0u);
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(9000, 48000, 2, 4096), 0u);
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(48000, 49000, 2, 4096), 0u);
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(8000, 48000, 3, 4096), 0u);
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(8000, 48000, 0, 4096), 0u);
    // Six times 4 GiB does not fit the signed count BSP_UacSrcProcess returns.
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(8000, 48000, 2, 0xFFFFFFFCu), 0u);
    EXPECT_EQ(BSP_UacSrcGetCapacityByRate(48000, 8000, 2, 0x7FFFFFFCu), 0x7FFFFFFCu);
    EXPECT_EQ(out.finish(), "");
    EXPECT_TRUE(state().size_queries.empty()) << "nothing is asked of the converter";
}

} // namespace
