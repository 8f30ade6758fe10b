// Internal pieces of the stream layer shared between its source files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "xu_uac.h"

// The ALSA card list the gadget card is looked up in.
inline constexpr const char *kUacCardsPath = "/proc/asound/cards";

// Scans an open card list for the gadget card's line; true with the low
// 8 bits of its card number in *card when one is found.
bool uacGadgetCardFromList(FILE *list, uint8_t *card);

// The gadget card's number, or 0 when the list cannot be read or names none.
uint8_t uacLookupGadgetCard();

// The names the period transfers report a bad handle under, whichever layer
// entered them.
inline constexpr const char *kUacSendFrameName = "XU_UAC_SendFrame";
inline constexpr const char *kUacGetFrameName = "XU_UAC_GetFrame";

// Reports a handle that failed the tag word test on standard error under the
// operation's name.
void uacReportBadHandle(const UAC_HANDLE_S *handle, const char *operation);

// The tag word test every handle-taking operation starts with: only the high
// half of the tag word counts. Inline, as it runs on every period.
inline bool uacHandleIsValid(const UAC_HANDLE_S *handle, const char *operation)
{
    // A null handle is reported like a zeroed one instead of being dereferenced.
    if (handle != nullptr && (handle->magic & UAC_HANDLE_MAGIC_MASK) == UAC_HANDLE_MAGIC) {
        return true;
    }
    uacReportBadHandle(handle, operation);
    return false;
}

// The period transfers of XU_UAC_SendFrame and XU_UAC_GetFrame on a handle
// that passed the tag word test. The board layer enters them here directly:
// a call to the exported functions from inside the library would go through
// the library's own PLT entries and a frame record built for nothing. Inline,
// as they run on every period.

// Writes the whole frames of the bytes given; 0, or -1 when tinyalsa fails.
inline int32_t uacWriteFrames(UAC_HANDLE_S *handle, const void *data, uint32_t bytes)
{
    // Whole frames only; a trailing partial frame is not sent.
    const unsigned frames = pcm_bytes_to_frames(handle->pcm, bytes);
    return pcm_writei(handle->pcm, data, frames) < 0 ? -1 : 0;
}

// Reads the stream's fixed block into data; 0 with the bytes read in *bytes,
// or -1 with *bytes untouched.
inline int32_t uacReadBlock(UAC_HANDLE_S *handle, void *data, uint32_t *bytes)
{
    // The amount is fixed by the stream, not by the caller's length: the buffer
    // size in frames, taken as a byte count, so it never exceeds
    // XU_UAC_GetPcm_BufSize bytes. Asked afresh on every call.
    const unsigned frames = pcm_bytes_to_frames(handle->pcm, pcm_get_buffer_size(handle->pcm));
    const int read = pcm_readi(handle->pcm, data, frames);
    if (read < 0) {
        return -1;
    }
    *bytes = pcm_frames_to_bytes(handle->pcm, static_cast<unsigned>(read));
    return 0;
}
