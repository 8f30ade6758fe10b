// Internal pieces of the board layer shared between its source files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "bsp_uac.h"

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

// The send and receive steps both flavours share, on a stream of theirs.
int32_t bspSendOn(UAC_HANDLE_S *playback, const UAC_AUDIO_FRAME_S &frame);
int32_t bspReceiveOn(UAC_HANDLE_S *capture, void *buffer, int32_t length);

// Prints "<text>. s32Ret =<hex> \n" for a failed open.
void bspReportOpenFailure(const char *what, int32_t result);

// The probe's walk over an open stream-status file; see _BSP_UacGetCardStatus.
int32_t bspWalkStreamStatus(FILE *status, int32_t direction, UAC_STREAM_STAT_S *stat);
