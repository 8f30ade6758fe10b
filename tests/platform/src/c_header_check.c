/* The converter's header must build in C programs too; this unit is compiled as C. */
#include "ulo_src.h"

uint64_t ulo_src_c_header_check(void);

uint64_t ulo_src_c_header_check(void)
{
    ULO_SRC_PARAM_S param = {48, 10, ULO_SRC_FLAG_S16LE_INTERLEAVED, 2, ULO_SRC_QUALITY_DEFAULT};
    return UloSrc_CapacityBytes(param.u32ConvertMode, param.u32Channels, 4096) + UloSrc_GetBufferSize(0);
}
