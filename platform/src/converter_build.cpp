#include "converter_build.h"

#include <memory>

#include "converter_state.h"

namespace ulo_src {

namespace {

// Chosen on measurement: about 100 dB of stop-band rejection and 90+ dB
// signal-to-noise ratio with 2.5 ms of delay or less (see README.md).
constexpr int kDefaultQuality = 5;

bool parameters_valid(const ULO_SRC_PARAM_S &param)
{
    return param.u32ConvertMode < ULO_SRC_MODE_COUNT && param.u32InRateKHz == UloSrc_ModeInKHz(param.u32ConvertMode) &&
           param.u32Flag == ULO_SRC_FLAG_S16LE_INTERLEAVED && (param.u32Channels == 1 || param.u32Channels == 2) &&
           quality_level(param.u32ConvArg) >= 0;
}

} // namespace

int quality_level(uint32_t conv_arg)
{
    if (conv_arg == ULO_SRC_QUALITY_DEFAULT) {
        return kDefaultQuality;
    }
    if (conv_arg > ULO_SRC_QUALITY_MAX) {
        return -1;
    }
    return static_cast<int>(conv_arg) - 1;
}

void *build_converter(void *buffer, const ULO_SRC_PARAM_S *param)
{
    if (state_at(buffer) == nullptr || param == nullptr || !parameters_valid(*param)) {
        return nullptr;
    }
    const uint32_t mode = param->u32ConvertMode;
    int err = RESAMPLER_ERR_SUCCESS;
    SpeexResamplerState *resampler =
        speex_resampler_init(param->u32Channels, UloSrc_ModeInKHz(mode) * 1000, UloSrc_ModeOutKHz(mode) * 1000,
                             quality_level(param->u32ConvArg), &err);
    if (resampler == nullptr || err != RESAMPLER_ERR_SUCCESS) {
        if (resampler != nullptr) {
            speex_resampler_destroy(resampler);
        }
        return nullptr;
    }
    ConverterState *state = std::construct_at(static_cast<ConverterState *>(buffer));
    state->mode = mode;
    state->channels = param->u32Channels;
    state->inputLatency = static_cast<uint32_t>(speex_resampler_get_input_latency(resampler));
    state->delayFrames = static_cast<uint32_t>(speex_resampler_get_output_latency(resampler));
    state->outStageFrames = output_stage_frames(mode);
    state->resampler = resampler;
    state->magic = kLiveMagic;
    return state;
}

int32_t release_converter(void *handle)
{
    ConverterState *state = state_at(handle);
    if (state == nullptr) {
        return -1;
    }
    if (state->magic == kLiveMagic) {
        speex_resampler_destroy(state->resampler);
        state->resampler = nullptr;
        state->magic = kReleasedMagic;
    }
    return state->magic == kReleasedMagic ? 0 : -1;
}

} // namespace ulo_src
