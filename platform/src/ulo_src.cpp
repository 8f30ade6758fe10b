// The exported calls of libSRC_LINUX.so.
#include "ulo_src.h"

#include "block_run.h"
#include "converter_build.h"
#include "converter_state.h"

using namespace ulo_src;

extern "C" uint32_t UloSrc_GetBufferSize(uint32_t u32ConvertMode)
{
    return working_buffer_size(u32ConvertMode);
}

extern "C" void *UloSrc_Init(void *pWorkBuf, const ULO_SRC_PARAM_S *pstParam)
{
    return build_converter(pWorkBuf, pstParam);
}

extern "C" int32_t UloSrc_Run(void *hSrc, void *pData, uint32_t u32Len, int32_t *ps32Count)
{
    if (ps32Count == nullptr) {
        return -1;
    }
    *ps32Count = 0;
    ConverterState *state = live_state(hSrc);
    if (state == nullptr || pData == nullptr) {
        return -1;
    }
    auto *data = static_cast<uint8_t *>(pData);
    const int64_t bytes = u32Len == 0 ? flush_stream(*state, data) : convert_block(*state, data, u32Len);
    if (bytes < 0) {
        return -1;
    }
    *ps32Count = static_cast<int32_t>(bytes);
    return 0;
}

extern "C" int32_t UloSrc_Release(void *hSrc)
{
    return release_converter(hSrc);
}

extern "C" int32_t UloSrc_GetDelay(void *hSrc)
{
    const ConverterState *state = live_state(hSrc);
    return state == nullptr ? -1 : static_cast<int32_t>(state->delayFrames);
}
