// libFuzzer target for the text parsing of libuacbridge: the value
// extraction of the stream-status probe, the probe's walk over a whole
// status file, and the gadget card lookup in the card list.
//
// Input: the first byte picks the probe direction (its low bit: 1 playback,
// 0 capture); the rest is the file content, also used as one line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board_internal.h"
#include "stream_internal.h"

namespace {

// A value the probe stores must be one the acceptance test passes.
void checkStored(uint32_t value, const char *key)
{
    if (value != 0 && _BSP_UAC_CheckValue(value, key) != 0) {
        std::abort();
    }
}

void fuzzLine(const std::string &line)
{
    for (const char *key : {"Channel", "Rate", "Format"}) {
        uint32_t value = 0;
        _BSP_UAC_GetValue(line.c_str(), &value, key);
        checkStored(value, key);
    }
}

void fuzzStatusWalk(const std::string &content, int32_t direction)
{
    FILE *file = fmemopen(const_cast<char *>(content.data()), content.size(), "rb");
    if (file == nullptr) {
        return;
    }
    UAC_STREAM_STAT_S stat{7, 7, 7, 7};
    const int32_t result = bspWalkStreamStatus(file, direction, &stat);
    std::fclose(file);
    const bool playback = direction == 1;
    const uint32_t channels = playback ? stat.u32PlaybackChannels : stat.u32CaptureChannels;
    const uint32_t rate = playback ? stat.u32PlaybackRate : stat.u32CaptureRate;
    const uint32_t other = playback ? stat.u32CaptureChannels : stat.u32PlaybackChannels;
    checkStored(channels, "Channel");
    checkStored(rate, "Rate");
    // Only the chosen direction's fields change; success means both were found.
    if (other != 7 || (result == 0) != (channels != 0 && rate != 0)) {
        std::abort();
    }
}

void fuzzCardList(const std::string &content)
{
    FILE *file = fmemopen(const_cast<char *>(content.data()), content.size(), "r");
    if (file == nullptr) {
        return;
    }
    uint8_t card = 0;
    uacGadgetCardFromList(file, &card);
    std::fclose(file);
}

} // namespace

// The probe reports on standard output; millions of runs need not see it.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int32_t direction = data[0] & 1;
    const std::string content(reinterpret_cast<const char *>(data + 1), size - 1);
    fuzzLine(content);
    fuzzStatusWalk(content, direction);
    fuzzCardList(content);
    return 0;
}
