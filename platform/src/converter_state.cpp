#include "converter_state.h"

namespace ulo_src {

static_assert(sizeof(ConverterState) % alignof(int16_t) == 0, "staging areas follow the record");

uint32_t output_stage_frames(uint32_t mode)
{
    const uint32_t in = UloSrc_ModeInKHz(mode);
    const uint32_t out = UloSrc_ModeOutKHz(mode);
    // One frame more than the rate ratio allows, so that a step never stalls
    // on a full staging area.
    return (kChunkFrames * out + in - 1) / in + 1;
}

uint32_t working_buffer_size(uint32_t mode)
{
    if (mode >= ULO_SRC_MODE_COUNT) {
        return 0;
    }
    const uint32_t samples = (kChunkFrames + output_stage_frames(mode)) * kMaxChannels;
    return static_cast<uint32_t>(sizeof(ConverterState) + samples * sizeof(int16_t));
}

int16_t *input_stage(ConverterState *state)
{
    return reinterpret_cast<int16_t *>(state + 1);
}

int16_t *output_stage(ConverterState *state)
{
    return input_stage(state) + kChunkFrames * kMaxChannels;
}

ConverterState *state_at(void *handle)
{
    if (handle == nullptr || reinterpret_cast<uintptr_t>(handle) % alignof(ConverterState) != 0) {
        return nullptr;
    }
    return static_cast<ConverterState *>(handle);
}

ConverterState *live_state(void *handle)
{
    ConverterState *state = state_at(handle);
    return state != nullptr && state->magic == kLiveMagic ? state : nullptr;
}

} // namespace ulo_src
