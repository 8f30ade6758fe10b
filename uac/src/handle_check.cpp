// The handle validity test: only the high half of the tag word counts.
#include "stream_internal.h"

bool uacHandleIsValid(const UAC_HANDLE_S *handle, const char *operation)
{
    // A null handle is reported like a zeroed one instead of being dereferenced.
    const uint32_t tag = handle != nullptr ? handle->magic & UAC_HANDLE_MAGIC_MASK : 0;
    if (tag == UAC_HANDLE_MAGIC) {
        return true;
    }
    std::fprintf(stderr, "%s: magic: %x %x\n", operation, tag, UAC_HANDLE_MAGIC);
    return false;
}
