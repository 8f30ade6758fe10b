#include "src_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kGuardBytes = 64;
constexpr uint8_t kGuard = 0xA5;
} // namespace

SrcStream::SrcStream(uint32_t mode, uint32_t channels, uint32_t quality) : mode_(mode), channels_(channels)
{
    buffer_ = malloc(UloSrc_GetBufferSize(mode));
    const ULO_SRC_PARAM_S param{UloSrc_ModeInKHz(mode), mode, ULO_SRC_FLAG_S16LE_INTERLEAVED, channels, quality};
    handle_ = UloSrc_Init(buffer_, &param);
    EXPECT_NE(handle_, nullptr) << "mode " << mode << ", " << channels << " channels, quality " << quality;
}

SrcStream::~SrcStream()
{
    if (handle_ != nullptr) {
        EXPECT_EQ(UloSrc_Release(handle_), 0);
    }
    free(buffer_);
}

std::vector<int16_t> SrcStream::run(std::span<const int16_t> block, size_t offset)
{
    const auto len = static_cast<uint32_t>(block.size_bytes());
    const auto capacity = static_cast<size_t>(UloSrc_CapacityBytes(mode_, channels_, len));
    std::vector<uint8_t> storage(offset + capacity + kGuardBytes, kGuard);
    uint8_t *data = storage.data() + offset;
    if (len != 0) {
        memcpy(data, block.data(), len);
    }
    int32_t count = -1;
    EXPECT_EQ(UloSrc_Run(handle_, data, len, &count), 0) << "mode " << mode_ << ", block of " << len << " bytes";
    const size_t frame_bytes = channels_ * sizeof(int16_t);
    EXPECT_GE(count, 0);
    EXPECT_LE(static_cast<size_t>(count), capacity) << "mode " << mode_;
    EXPECT_EQ(count % frame_bytes, 0u);
    EXPECT_TRUE(std::all_of(data + capacity, data + capacity + kGuardBytes, [](uint8_t b) { return b == kGuard; }))
        << "mode " << mode_ << ": written past the capacity of " << capacity << " bytes for a block of " << len;
    std::vector<int16_t> out(count > 0 ? std::min<size_t>(count, capacity) / sizeof(int16_t) : 0);
    std::copy_n(reinterpret_cast<const uint8_t *>(data), out.size() * sizeof(int16_t),
                reinterpret_cast<uint8_t *>(out.data()));
    return out;
}

std::vector<int16_t> convert_stream(uint32_t mode, uint32_t channels, const std::vector<int16_t> &input,
                                    const std::vector<size_t> &schedule, uint32_t quality, size_t offset)
{
    SrcStream stream(mode, channels, quality);
    std::vector<int16_t> out;
    const size_t frames = input.size() / channels;
    for (size_t at = 0, step = 0; at < frames; step++) {
        const size_t n = schedule.empty() ? frames : std::min(schedule[step % schedule.size()], frames - at);
        const auto piece = stream.run(std::span(input).subspan(at * channels, n * channels), offset);
        out.insert(out.end(), piece.begin(), piece.end());
        at += n;
    }
    const auto tail = stream.flush();
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
