/* The wrapper's header must build in C programs too; this unit is compiled as C. */
#include "bsp_uac_src.h"

int32_t bsp_uac_src_c_header_check(void);

int32_t bsp_uac_src_c_header_check(void)
{
    UAC_SRC_S record = {48000, 16000, 2, 0, NULL, NULL};
    UAC_SRC_PARAM_S param = {48, 10, 1, 2, 0};
    return (int32_t)(record.u32Channels + param.u32ConvertMode);
}
