// Moving frames through a stream handle. The caller's buffer goes straight
// to tinyalsa: nothing is allocated or copied here.
#include "stream_internal.h"

namespace {

// A null frame record is refused rather than dereferenced.
bool transferAllowed(const UAC_HANDLE_S *handle, const UAC_FRAME_S *frame, const char *operation)
{
    return uacHandleIsValid(handle, operation) && frame != nullptr;
}

int32_t statusOf(int tinyalsa_result)
{
    return tinyalsa_result < 0 ? -1 : 0;
}

} // namespace

int32_t uacWriteFrames(UAC_HANDLE_S *handle, const void *data, uint32_t bytes)
{
    // Whole frames only; a trailing partial frame is not sent.
    const unsigned frames = pcm_bytes_to_frames(handle->pcm, bytes);
    return statusOf(pcm_writei(handle->pcm, data, frames));
}

int32_t uacReadBlock(UAC_HANDLE_S *handle, void *data, uint32_t *bytes)
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

extern "C" int32_t XU_UAC_SendFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame)
{
    if (!transferAllowed(handle, frame, kUacSendFrameName)) {
        return -1;
    }
    return uacWriteFrames(handle, frame->data, frame->len);
}

extern "C" int32_t XU_UAC_GetFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame)
{
    if (!transferAllowed(handle, frame, kUacGetFrameName)) {
        return -1;
    }
    return uacReadBlock(handle, frame->data, &frame->len);
}

extern "C" int32_t XU_UAC_MmapSendFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame)
{
    if (!transferAllowed(handle, frame, "XU_UAC_MmapSendFrame")) {
        return -1;
    }
    return statusOf(pcm_mmap_write(handle->pcm, frame->data, frame->len));
}

extern "C" int32_t XU_UAC_MmapGetFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame)
{
    if (!transferAllowed(handle, frame, "XU_UAC_MmapGetFrame")) {
        return -1;
    }
    return statusOf(pcm_mmap_read(handle->pcm, frame->data, frame->len));
}
