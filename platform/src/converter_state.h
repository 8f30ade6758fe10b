// The converter record that lives at the start of the working buffer, and
// the staging areas after it.
#pragma once

#include <speex/speex_resampler.h>

#include <cstddef>
#include <cstdint>

#include "ulo_src.h"

namespace ulo_src {

// Input frames staged per step; the output staging area fits what they yield.
constexpr uint32_t kChunkFrames = 1024;
constexpr uint32_t kMaxChannels = 2;

struct ConverterState {
    uint32_t magic;          // kLiveMagic while built, kReleasedMagic after release
    uint32_t mode;           // convert mode 0 to 11
    uint32_t channels;       // 1 or 2
    uint32_t inputLatency;   // input frames the filter holds back; a flush feeds this many zeros
    uint32_t delayFrames;    // the same latency, in output frames
    uint32_t outStageFrames; // capacity of the output staging area in frames
    SpeexResamplerState *resampler;
};

constexpr uint32_t kLiveMagic = 0x55534331;     // "USC1"
constexpr uint32_t kReleasedMagic = 0x55534330; // "USC0"

// Output frames that kChunkFrames input frames of this mode can yield.
uint32_t output_stage_frames(uint32_t mode);

// Working-buffer bytes for a mode, 0 for an unknown one.
uint32_t working_buffer_size(uint32_t mode);

// The staging areas that follow the record in the working buffer.
int16_t *input_stage(ConverterState *state);
int16_t *output_stage(ConverterState *state);

// The record behind a handle, or nullptr when the pointer cannot be one
// (null or misaligned).
ConverterState *state_at(void *handle);

// The same, and only while the converter is built.
ConverterState *live_state(void *handle);

} // namespace ulo_src
