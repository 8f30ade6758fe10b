// Drives one converter of libSRC_LINUX.so the way a caller does, in a buffer
// of exactly the stated capacity followed by guard bytes, and reports any
// call that fails, a count that is not whole frames or exceeds the capacity,
// and any guard byte that changed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ulo_src.h"

class SrcStream {
public:
    SrcStream(uint32_t mode, uint32_t channels, uint32_t quality = ULO_SRC_QUALITY_DEFAULT);
    ~SrcStream();
    SrcStream(const SrcStream &) = delete;
    SrcStream &operator=(const SrcStream &) = delete;

    void *handle() const { return handle_; }
    // Converts one block (interleaved frames) and returns its output; the
    // data sits at the given byte offset from an aligned address.
    std::vector<int16_t> run(std::span<const int16_t> block, size_t offset = 0);
    std::vector<int16_t> flush() { return run({}); }

private:
    uint32_t mode_;
    uint32_t channels_;
    void *buffer_ = nullptr;
    void *handle_ = nullptr;
};

// Converts input cut into blocks of the given frame counts, used in turn
// (an empty schedule: one block), then flushes; everything that came out.
std::vector<int16_t> convert_stream(uint32_t mode, uint32_t channels, const std::vector<int16_t> &input,
                                    const std::vector<size_t> &schedule, uint32_t quality = ULO_SRC_QUALITY_DEFAULT,
                                    size_t offset = 0);
