// Filling a stream configuration record.
#include <cstring>

#include "stream_internal.h"

namespace {

void fillStreamSettings(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate,
                        uint32_t period_size, uint32_t period_count, uint32_t format)
{
    uac_config->flags = flags;
    uac_config->config.channels = channels;
    uac_config->config.rate = rate;
    uac_config->config.period_size = period_size;
    uac_config->config.period_count = period_count;
    // Stored bit for bit: the caller may pass any number, and converting one
    // outside the enumeration's range to the enum type is undefined in C++.
    static_assert(sizeof(uac_config->config.format) == sizeof(format));
    std::memcpy(&uac_config->config.format, &format, sizeof(format));
}

void setThresholds(UAC_CONFIG_S *uac_config, uint32_t frames)
{
    uac_config->config.start_threshold = frames;
    uac_config->config.stop_threshold = frames;
    uac_config->config.silence_threshold = frames;
}

} // namespace

extern "C" void XU_UAC_Config(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate,
                              uint32_t period_size, uint32_t period_count, uint32_t format)
{
    uac_config->card = uacLookupGadgetCard();
    uac_config->device = 0;
    fillStreamSettings(uac_config, flags, channels, rate, period_size, period_count, format);
    // Zero thresholds let tinyalsa choose its own defaults when the stream opens.
    setThresholds(uac_config, 0);
}

extern "C" void XU_UAC_Config_m(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate,
                                uint32_t period_size, uint32_t period_count, uint32_t format)
{
    fillStreamSettings(uac_config, flags, channels, rate, period_size, period_count, format);
    // The whole buffer: a playback stream starts only once it is full.
    setThresholds(uac_config, period_size * period_count);
}
