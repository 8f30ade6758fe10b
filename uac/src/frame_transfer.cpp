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

extern "C" int32_t XU_UAC_SendFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame)
{
    if (!transferAllowed(handle, frame, "XU_UAC_SendFrame")) {
        return -1;
    }
    // Whole frames only; a trailing partial frame is not sent.
    const unsigned frames = pcm_bytes_to_frames(handle->pcm, frame->len);
    return statusOf(pcm_writei(handle->pcm, frame->data, frames));
}

extern "C" int32_t XU_UAC_GetFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame)
{
    if (!transferAllowed(handle, frame, "XU_UAC_GetFrame")) {
        return -1;
    }
    // The amount is fixed by the stream, not by frame->len: the buffer size in
    // frames, taken as a byte count, so it never exceeds XU_UAC_GetPcm_BufSize
    // bytes. Asked afresh on every call.
    const unsigned frames = pcm_bytes_to_frames(handle->pcm, pcm_get_buffer_size(handle->pcm));
    const int read = pcm_readi(handle->pcm, frame->data, frames);
    if (read < 0) {
        return -1;
    }
    frame->len = pcm_frames_to_bytes(handle->pcm, static_cast<unsigned>(read));
    return 0;
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
