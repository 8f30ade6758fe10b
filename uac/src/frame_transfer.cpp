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
