// The instance flavour of the board layer: streams kept in a caller-held
// instance, on the card and device the caller put there.
#include "board_internal.h"

namespace {

// The card and device travel in the record itself: XU_UAC_Config_m keeps them.
void configureFromInstance(UAC_CONFIG_S *record, uint32_t flags)
{
    XU_UAC_Config_m(record, flags, kBoardChannels, kBoardRate, kBoardPeriodSize, kBoardPeriodCount, kBoardFormat);
}

bool isInitialised(const UAC_INSTANCE_S *instance)
{
    return instance != nullptr && instance->bInitialised != 0;
}

} // namespace

extern "C" int32_t BSP_UacInit_m(UAC_INSTANCE_S *pstInstance)
{
    if (pstInstance == nullptr) {
        return -1;
    }
    if (pstInstance->bInitialised != 0) {
        return 0;
    }
    UAC_CONFIG_S record{};
    record.card = pstInstance->u8Card;
    record.device = pstInstance->u8Device;
    return bspOpenBoardStreams(
        BoardSlots{&pstInstance->bInitialised, &pstInstance->pPlaybackHandle, &pstInstance->pCaptureHandle}, &record,
        configureFromInstance, PCM_OUT);
}

extern "C" int32_t BSP_UacDeinit_m(UAC_INSTANCE_S *pstInstance)
{
    if (!isInitialised(pstInstance)) {
        return 0;
    }
    int32_t result = 0;
    if (pstInstance->pCaptureHandle != nullptr) {
        result = XU_UAC_Uninit(pstInstance->pCaptureHandle);
    }
    if (pstInstance->pPlaybackHandle != nullptr) {
        result |= XU_UAC_Uninit(pstInstance->pPlaybackHandle);
    }
    pstInstance->pCaptureHandle = nullptr;
    pstInstance->pPlaybackHandle = nullptr;
    pstInstance->bInitialised = 0;
    return result;
}

extern "C" int32_t BSP_UacSendFrame_m(UAC_INSTANCE_S *pstInstance, UAC_AUDIO_FRAME_S stFrame)
{
    // An instance opened by BSP_UacInit_s may have no playback stream.
    if (!isInitialised(pstInstance) || pstInstance->pPlaybackHandle == nullptr) {
        return -1;
    }
    return bspSendOn(pstInstance->pPlaybackHandle, stFrame);
}

extern "C" int32_t BSP_UacGetFrame_m(UAC_INSTANCE_S *pstInstance, void *pBuf, int32_t s32Len)
{
    if (!isInitialised(pstInstance) || pstInstance->pCaptureHandle == nullptr) {
        return -1;
    }
    return bspReceiveOn(pstInstance->pCaptureHandle, pBuf, s32Len);
}
