// Creating, running and releasing the converter of a conversion record.
#include "bsp_uac_src.h"

#include <bit>
#include <cstdio>
#include <cstdlib>

#include "ulo_src.h"

// The converter's parameter record has the same five fields as ours.
static_assert(sizeof(UAC_SRC_PARAM_S) == sizeof(ULO_SRC_PARAM_S));
static_assert(offsetof(UAC_SRC_PARAM_S, u32InRateKHz) == offsetof(ULO_SRC_PARAM_S, u32InRateKHz));
static_assert(offsetof(UAC_SRC_PARAM_S, u32ConvertMode) == offsetof(ULO_SRC_PARAM_S, u32ConvertMode));
static_assert(offsetof(UAC_SRC_PARAM_S, u32Flag) == offsetof(ULO_SRC_PARAM_S, u32Flag));
static_assert(offsetof(UAC_SRC_PARAM_S, u32Channels) == offsetof(ULO_SRC_PARAM_S, u32Channels));
static_assert(offsetof(UAC_SRC_PARAM_S, u32ConvArg) == offsetof(ULO_SRC_PARAM_S, u32ConvArg));

extern "C" int32_t BSP_UacSrcInit(UAC_SRC_S *pstSrc)
{
    if (_BSP_UacSrcCheck(pstSrc) != 0) {
        return -1;
    }
    const int32_t s32Mode = _BSP_GetConvertMode(pstSrc->u32InRate / 1000, pstSrc->u32OutRate / 1000);
    if (s32Mode < 0) {
        return -1;
    }
    const UAC_SRC_PARAM_S stParam = {pstSrc->u32InRate / 1000, static_cast<uint32_t>(s32Mode), 1, pstSrc->u32Channels,
                                     pstSrc->u32ConvArg};

    pstSrc->workingbufptr = malloc(UloSrc_GetBufferSize(stParam.u32ConvertMode));
    if (pstSrc->workingbufptr == nullptr) {
        puts("malloc workingbufptr failed!");
        return -1;
    }
    // A failed creation leaves the buffer recorded: BSP_UacSrcDeinit frees it.
    const auto stConverterParam = std::bit_cast<ULO_SRC_PARAM_S>(stParam);
    pstSrc->pSrcHandle = UloSrc_Init(pstSrc->workingbufptr, &stConverterParam);
    if (pstSrc->pSrcHandle == nullptr) {
        puts("UloSrc init failed!");
        return -1;
    }
    return 0;
}

extern "C" int32_t BSP_UacSrcProcess(UAC_SRC_S *pstSrc, void *pData, uint32_t u32Len)
{
    if (pstSrc == nullptr || pData == nullptr) {
        puts("null input ptr!");
        return -1;
    }
    // Should a converter return without setting the count, the block counts
    // as having produced nothing.
    int32_t s32Count = 0;
    (void)UloSrc_Run(pstSrc->pSrcHandle, pData, u32Len, &s32Count);
    return s32Count;
}

extern "C" int32_t BSP_UacSrcDeinit(UAC_SRC_S *pstSrc)
{
    if (pstSrc == nullptr) {
        puts("null ptr!");
        return -1;
    }
    if (pstSrc->pSrcHandle != nullptr) {
        if (UloSrc_Release(pstSrc->pSrcHandle) != 0) {
            puts("UloSrc release failed!");
            return -1;
        }
        pstSrc->pSrcHandle = nullptr;
    }
    free(pstSrc->workingbufptr);
    pstSrc->workingbufptr = nullptr;
    return 0;
}
