// Opening and using the board-level streams, shared by both flavours.
#include "board_internal.h"

void bspReportOpenFailure(const char *what, int32_t result)
{
    std::printf("%s. s32Ret =%x \n", what, static_cast<unsigned>(result));
}

int32_t bspOpenBoardStreams(const BoardSlots &slots, UAC_CONFIG_S *record, BoardConfigure configure,
                            uint32_t playback_flags)
{
    configure(record, playback_flags);
    int32_t result = XU_UAC_Init(slots.playback, record);
    if (result < 0) {
        bspReportOpenFailure("XU_UAC_Init PCM_OUT failed", result);
        return -1;
    }
    // Capture is optional: without it the streams still serve sending.
    configure(record, PCM_IN);
    result = XU_UAC_Init(slots.capture, record);
    if (result < 0) {
        bspReportOpenFailure("XU_UAC_Init PCM_IN failed", result);
    }
    *slots.initialised = 1;
    return 0;
}
