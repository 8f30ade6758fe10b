#include "fake_ulo_src.h"

#include <cstring>

namespace fake_ulo_src {

State &state()
{
    static State s;
    return s;
}

void reset()
{
    state() = State{};
}

void *handle_for(void *buffer)
{
    return static_cast<char *>(buffer) + 8;
}

} // namespace fake_ulo_src

using fake_ulo_src::state;

extern "C" uint32_t UloSrc_GetBufferSize(uint32_t u32ConvertMode)
{
    state().size_queries.push_back(u32ConvertMode);
    return state().buffer_size;
}

extern "C" void *UloSrc_Init(void *pWorkBuf, const ULO_SRC_PARAM_S *pstParam)
{
    state().init_buffers.push_back(pWorkBuf);
    state().params.push_back(*pstParam);
    // Touch the whole buffer, so that a short allocation shows under ASan.
    memset(pWorkBuf, 0x5A, state().buffer_size);
    return state().init_fails ? nullptr : fake_ulo_src::handle_for(pWorkBuf);
}

extern "C" int32_t UloSrc_Run(void *hSrc, void *pData, uint32_t u32Len, int32_t *ps32Count)
{
    state().runs.push_back({hSrc, pData, u32Len});
    if (state().run_writes_count) {
        *ps32Count = state().run_count;
    }
    return -7; // the wrapper must not pass this on
}

extern "C" int32_t UloSrc_Release(void *hSrc)
{
    state().releases.push_back(hSrc);
    return state().release_result;
}
