// The stream-status probe: the channel count and rate the USB host selected
// for one direction, read from the gadget card's stream-status file.
#include <cstring>

#include "board_internal.h"
#include "proc_files.h"

namespace {

constexpr int32_t kPlaybackDirection = 1;
// Lines are read in pieces of at most 31 characters; each piece counts as a
// line of its own, as the file has always been read.
constexpr int kLineBufferSize = 32;
constexpr int kPathBufferSize = 64;

struct Direction {
    const char *section;     // the line that opens the direction's section
    const char *section_end; // the line that ends it, or null: runs to the end of the file
    uint32_t *channels;
    uint32_t *rate;
    const char *unsupported; // message when a value is missing
};

Direction directionOf(int32_t direction, UAC_STREAM_STAT_S *stat)
{
    if (direction == kPlaybackDirection) {
        return Direction{"Playback", "Capture", &stat->u32PlaybackChannels, &stat->u32PlaybackRate,
                         "Playback status not support!"};
    }
    return Direction{"Capture", nullptr, &stat->u32CaptureChannels, &stat->u32CaptureRate,
                     "Capture status not support!"};
}

} // namespace

int32_t bspWalkStreamStatus(FILE *status, int32_t direction, UAC_STREAM_STAT_S *stat)
{
    const Direction dir = directionOf(direction, stat);
    *dir.channels = 0;
    *dir.rate = 0;
    char line[kLineBufferSize];
    bool in_section = false;
    while (std::fgets(line, sizeof(line), status) != nullptr) {
        if (!in_section) {
            // The line that opens the section is not searched for values.
            in_section = std::strstr(line, dir.section) != nullptr;
            continue;
        }
        _BSP_UAC_GetValue(line, dir.channels, "Channel");
        _BSP_UAC_GetValue(line, dir.rate, "Rate");
        if (dir.section_end != nullptr && std::strstr(line, dir.section_end) != nullptr) {
            in_section = false;
        }
    }
    if (*dir.channels == 0 || *dir.rate == 0) {
        std::puts(dir.unsupported);
        return -1;
    }
    return 0;
}

extern "C" int32_t _BSP_UacGetCardStatus(int32_t s32Direction, int32_t s32Card, UAC_STREAM_STAT_S *pstStat)
{
    char path[kPathBufferSize];
    std::snprintf(path, sizeof(path), "/proc/asound/card%d/stream0", static_cast<int>(s32Card));
    FILE *status = uacOpenProcFile(path, "rb");
    if (status == nullptr) {
        std::printf("file %s not exist!\n", path);
        return -1;
    }
    const int32_t result = bspWalkStreamStatus(status, s32Direction, pstStat);
    std::fclose(status);
    return result;
}
