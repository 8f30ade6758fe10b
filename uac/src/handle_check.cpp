// How a handle that failed the tag word test is reported.
#include "stream_internal.h"

void uacReportBadHandle(const UAC_HANDLE_S *handle, const char *operation)
{
    const uint32_t tag = handle != nullptr ? handle->magic & UAC_HANDLE_MAGIC_MASK : 0;
    std::fprintf(stderr, "%s: magic: %x %x\n", operation, tag, UAC_HANDLE_MAGIC);
}
