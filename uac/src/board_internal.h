// Internal pieces of the board layer shared between its source files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "bsp_uac.h"
#include "stream_internal.h"

// The fixed format of the board-level streams.
inline constexpr uint32_t kBoardChannels = 2;
inline constexpr uint32_t kBoardRate = 48000;
inline constexpr uint32_t kBoardPeriodSize = 1024;
inline constexpr uint32_t kBoardPeriodCount = 4;
inline constexpr uint32_t kBoardFormat = 0; // PCM_FORMAT_S16_LE

// Where one flavour keeps its streams: the library's private state or a
// caller-held instance.
struct BoardSlots {
    uint32_t *initialised;
    UAC_HANDLE_S **playback;
    UAC_HANDLE_S **capture;
};

// Fills a configuration record for one stream of the fixed format.
using BoardConfigure = void (*)(UAC_CONFIG_S *record, uint32_t flags);

// Opens playback, then capture, into the slots; see BSP_UacInit.
int32_t bspOpenBoardStreams(const BoardSlots &slots, UAC_CONFIG_S *record, BoardConfigure configure,
                            uint32_t playback_flags);

// The send and receive steps both flavours share, on a stream of theirs:
// XU_UAC_SendFrame and XU_UAC_GetFrame as they are, reports included, entered
// past the exported functions. Inline, as they run on every period.
inline int32_t bspSendOn(UAC_HANDLE_S *playback, const UAC_AUDIO_FRAME_S &frame)
{
    if (!uacHandleIsValid(playback, kUacSendFrameName)) {
        return -1;
    }
    return uacWriteFrames(playback, frame.pData, frame.u32Len);
}

// The bytes read, or 0 when the read failed. The length does not limit the
// read: the stream reads its fixed block.
inline int32_t bspReceiveOn(UAC_HANDLE_S *capture, void *buffer, int32_t /*length*/)
{
    uint32_t read = 0;
    if (!uacHandleIsValid(capture, kUacGetFrameName) || uacReadBlock(capture, buffer, &read) != 0) {
        return 0;
    }
    return static_cast<int32_t>(read);
}

// Prints "<text>. s32Ret =<hex> \n" for a failed open.
void bspReportOpenFailure(const char *what, int32_t result);

// The probe's walk over an open stream-status file; see _BSP_UacGetCardStatus.
int32_t bspWalkStreamStatus(FILE *status, int32_t direction, UAC_STREAM_STAT_S *stat);
