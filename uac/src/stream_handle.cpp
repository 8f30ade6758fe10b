// Opening and closing a stream handle.
#include <cstdlib>

#include "stream_internal.h"

namespace {

// Error text when pcm_open yields no object at all (tinyalsa itself always
// yields one, a placeholder when it runs out of memory).
constexpr const char *kNoStreamObject = "pcm_open returned no stream object";

uint32_t tagWordFor(const UAC_CONFIG_S &uac_config)
{
    return UAC_HANDLE_MAGIC | static_cast<uint32_t>(uac_config.card) << 8 | uac_config.device;
}

void freeHandle(UAC_HANDLE_S *handle)
{
    std::free(handle->uac_config);
    std::free(handle);
}

// Allocates the zero-filled handle and its configuration copy, or reports.
UAC_HANDLE_S *allocateHandle()
{
    auto *handle = static_cast<UAC_HANDLE_S *>(std::calloc(1, sizeof(UAC_HANDLE_S)));
    if (handle != nullptr) {
        handle->uac_config = static_cast<UAC_CONFIG_S *>(std::malloc(sizeof(UAC_CONFIG_S)));
        if (handle->uac_config == nullptr) {
            std::free(handle);
            handle = nullptr;
        }
    }
    if (handle == nullptr) {
        std::fprintf(stderr, "%s Failed: No mem\n", "XU_UAC_Init");
    }
    return handle;
}

} // namespace

extern "C" int32_t XU_UAC_Init(UAC_HANDLE_S **handle, const UAC_CONFIG_S *uac_config)
{
    UAC_HANDLE_S *opened = allocateHandle();
    if (opened == nullptr) {
        return -1;
    }
    *opened->uac_config = *uac_config;
    const UAC_CONFIG_S &copy = *opened->uac_config;
    opened->magic = tagWordFor(copy);
    opened->pcm = pcm_open(copy.card, copy.device, copy.flags, &copy.config);
    if (opened->pcm != nullptr && pcm_is_ready(opened->pcm)) {
        *handle = opened;
        return 0;
    }
    // The error text lives in the stream object: print it before closing.
    std::printf("%s: %s \n", "XU_UAC_Init", opened->pcm != nullptr ? pcm_get_error(opened->pcm) : kNoStreamObject);
    if (opened->pcm != nullptr) {
        pcm_close(opened->pcm);
    }
    freeHandle(opened);
    return -1;
}

extern "C" int32_t XU_UAC_Uninit(UAC_HANDLE_S *handle)
{
    if (!uacHandleIsValid(handle, "XU_UAC_Uninit")) {
        return -1;
    }
    if (!pcm_is_ready(handle->pcm)) {
        return -1;
    }
    pcm_close(handle->pcm);
    freeHandle(handle);
    return 0;
}

extern "C" uint32_t XU_UAC_GetPcm_BufSize(UAC_HANDLE_S *handle)
{
    if (!uacHandleIsValid(handle, "XU_UAC_GetPcm_BufSize")) {
        return 0xFFFFFFFFu;
    }
    return pcm_get_buffer_size(handle->pcm);
}
