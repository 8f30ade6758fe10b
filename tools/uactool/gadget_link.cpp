#include "gadget_link.h"

std::string openLink(const LinkOptions &options, const UAC_STREAM_STAT_S &request, UAC_INSTANCE_S *instance,
                     UAC_STREAM_STAT_S *report)
{
    *instance = UAC_INSTANCE_S{};
    if (options.card >= 0) {
        instance->u8Card = static_cast<uint8_t>(options.card);
    } else {
        UAC_CONFIG_S found{};
        XU_UAC_Config(&found, PCM_IN, 2, 48000, 1024, 4, 0); // only for its card lookup
        instance->u8Card = found.card;
    }
    instance->u8Device = static_cast<uint8_t>(options.device);
    UAC_STREAM_STAT_S wanted = request;
    if (BSP_UacInit_s(instance, &wanted, report) != 0) {
        return "cannot open the capture stream of card " + std::to_string(instance->u8Card) + ", device " +
               std::to_string(instance->u8Device) + " (is the USB gadget connected to a host?)";
    }
    return "";
}

void XrunWatch::transferred()
{
    const auto now = std::chrono::steady_clock::now();
    if (started_ && std::chrono::duration<double>(now - last_).count() > buffer_seconds_) {
        count_++;
    }
    started_ = true;
    last_ = now;
}

std::string formatText(uint32_t channels, uint32_t rate)
{
    return std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") + std::to_string(rate) + " Hz";
}
