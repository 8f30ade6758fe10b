// Validation of a conversion request and the mapping of its rates to the
// converter's convert mode.
#include <cstdio>

#include "bsp_uac_src.h"
#include "src_mode.h"

// The converter's header numbers the modes; the mode of a pair is looked up
// there rather than worked out again here.
int32_t srcConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz)
{
    for (uint32_t mode = 0; mode < ULO_SRC_MODE_COUNT; mode++) {
        if (UloSrc_ModeInKHz(mode) == u32InRateKHz && UloSrc_ModeOutKHz(mode) == u32OutRateKHz) {
            return static_cast<int32_t>(mode);
        }
    }
    return -1;
}

extern "C" int32_t _BSP_UacSrcCheck(UAC_SRC_S *pstSrc)
{
    if (pstSrc == nullptr) {
        puts("null ptr!");
        return -1;
    }
    if (!srcRateAccepted(pstSrc->u32InRate)) {
        puts("not support input rate");
        return -1;
    }
    if (!srcRateAccepted(pstSrc->u32OutRate)) {
        puts("not support output rate");
        return -1;
    }
    if (pstSrc->u32Channels != 1 && pstSrc->u32Channels != 2) {
        puts("invalid channel!");
        return -1;
    }
    return 0;
}

extern "C" int32_t _BSP_GetConvertMode(uint32_t u32InRateKHz, uint32_t u32OutRateKHz)
{
    const int32_t mode = srcConvertMode(u32InRateKHz, u32OutRateKHz);
    if (mode < 0) {
        puts("not support convert mode!");
    }
    return mode;
}
