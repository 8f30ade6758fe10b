/* The public headers must build as C: an application written in C includes
 * them and calls the entry points with C's own types. */
#include "xu_uac.h"

_Static_assert(sizeof(UAC_CONFIG_S) == 40, "same layout seen from C");

uint32_t uac_header_c_check(UAC_HANDLE_S *handle, UAC_CONFIG_S *config)
{
    UAC_FRAME_S frame = {0, NULL, 0};
    XU_UAC_Config_m(config, PCM_IN, 2, 48000, 1024, 4, PCM_FORMAT_S16_LE);
    if (XU_UAC_GetFrame(handle, &frame) != 0) {
        return 0;
    }
    return frame.len + XU_UAC_GetPcm_BufSize(handle);
}
