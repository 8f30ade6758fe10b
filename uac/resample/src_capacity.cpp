// The buffer a block needs: the converter writes its output over the input,
// and the output can be up to six times as long (8 to 48 kHz), or, for the
// flush, longer than any input at all.
#include <cstdint>

#include "bsp_uac_src.h"
#include "src_mode.h"
#include "ulo_src.h"

extern "C" uint32_t BSP_UacSrcGetCapacityByRate(uint32_t u32InRate, uint32_t u32OutRate, uint32_t u32Channels,
                                                uint32_t u32Len)
{
    if (!srcRateAccepted(u32InRate) || !srcRateAccepted(u32OutRate) || (u32Channels != 1 && u32Channels != 2)) {
        return 0;
    }
    const int32_t s32Mode = srcConvertMode(u32InRate / 1000, u32OutRate / 1000);
    if (s32Mode < 0) {
        return 0;
    }
    const uint64_t u64Bytes = UloSrc_CapacityBytes(static_cast<uint32_t>(s32Mode), u32Channels, u32Len);
    // BSP_UacSrcProcess reports the output as a signed 32-bit count.
    return u64Bytes > INT32_MAX ? 0 : static_cast<uint32_t>(u64Bytes);
}

extern "C" uint32_t BSP_UacSrcGetCapacity(const UAC_SRC_S *pstSrc, uint32_t u32Len)
{
    if (pstSrc == nullptr) {
        return 0;
    }
    return BSP_UacSrcGetCapacityByRate(pstSrc->u32InRate, pstSrc->u32OutRate, pstSrc->u32Channels, u32Len);
}
