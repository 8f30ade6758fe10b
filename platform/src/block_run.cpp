#include "block_run.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace ulo_src {

// Samples are copied as they lie in memory: the host must be little-endian
// like the stream.
static_assert(std::endian::native == std::endian::little, "the stream is little-endian");

namespace {

// Where output goes: the caller's buffer, from pos up to (not including)
// limit, the first byte that must not be overwritten yet. No data: the
// output is dropped.
struct Sink {
    uint8_t *data;
    size_t pos;
    size_t limit;
};

size_t frame_bytes(const ConverterState &state)
{
    return state.channels * sizeof(int16_t);
}

// Pushes the first frames of the input staging area through the resampler
// and appends what comes out to the sink.
bool push_staged(ConverterState &state, uint32_t frames, Sink &sink)
{
    const int16_t *in = input_stage(&state);
    int16_t *out = output_stage(&state);
    uint32_t done = 0;
    while (done < frames) {
        spx_uint32_t in_len = frames - done;
        spx_uint32_t out_len = state.outStageFrames;
        if (speex_resampler_process_interleaved_int(state.resampler, in + done * state.channels, &in_len, out,
                                                    &out_len) != RESAMPLER_ERR_SUCCESS) {
            return false;
        }
        const size_t bytes = out_len * frame_bytes(state);
        if (in_len == 0 && out_len == 0) {
            return false;
        }
        if (sink.data != nullptr) {
            if (bytes > sink.limit - sink.pos) {
                return false;
            }
            memcpy(sink.data + sink.pos, out, bytes);
            sink.pos += bytes;
        }
        done += in_len;
    }
    return true;
}

// Feeds zero frames from the (zeroed) input staging area.
bool push_zeros(ConverterState &state, uint32_t frames, Sink &sink)
{
    bool ok = true;
    while (ok && frames > 0) {
        const uint32_t step = std::min(frames, kChunkFrames);
        ok = push_staged(state, step, sink);
        frames -= step;
    }
    return ok;
}

} // namespace

int64_t convert_block(ConverterState &state, uint8_t *data, uint32_t len)
{
    const size_t fbytes = frame_bytes(state);
    const uint64_t capacity = UloSrc_CapacityBytes(state.mode, state.channels, len);
    if (len % fbytes != 0 || capacity > INT32_MAX) {
        return -1;
    }
    // The input moves to the end of the buffer: the output, written from the
    // start at most as fast as the capacity allows, then never overtakes
    // input that has not been staged yet.
    size_t read = static_cast<size_t>(capacity) - len;
    if (read != 0) {
        memmove(data + read, data, len);
    }
    Sink sink{data, 0, 0};
    while (read < capacity) {
        const auto frames = static_cast<uint32_t>(std::min<size_t>(kChunkFrames, (capacity - read) / fbytes));
        memcpy(input_stage(&state), data + read, frames * fbytes);
        read += frames * fbytes;
        sink.limit = read;
        if (!push_staged(state, frames, sink)) {
            return -1;
        }
    }
    return static_cast<int64_t>(sink.pos);
}

int64_t flush_stream(ConverterState &state, uint8_t *data)
{
    Sink sink{data, 0, static_cast<size_t>(UloSrc_CapacityBytes(state.mode, state.channels, 0))};
    memset(input_stage(&state), 0, kChunkFrames * frame_bytes(state));
    // The filter holds back half its length: that many zeros push the rest
    // of the stream out.
    const bool ok = push_zeros(state, state.inputLatency, sink);
    // speexdsp's reset clears the history of the first channel only; enough
    // further zeros (the filter is 2 * inputLatency long) leave every
    // channel's history silent, as in a new resampler. Their output is dropped.
    Sink drop{nullptr, 0, 0};
    const bool cleared = push_zeros(state, state.inputLatency - 1, drop);
    speex_resampler_reset_mem(state.resampler);
    return ok && cleared ? static_cast<int64_t>(sink.pos) : -1;
}

} // namespace ulo_src
