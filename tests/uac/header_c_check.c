/* The public headers must build as C: an application written in C includes
 * them and calls the entry points with C's own types. */
#include "bsp_uac.h"
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

int32_t uac_header_c_check_board(UAC_INSTANCE_S *instance, void *bytes)
{
    UAC_STREAM_STAT_S request = {2, 48000, 1, 16000};
    UAC_STREAM_STAT_S report;
    UAC_AUDIO_FRAME_S frame = {{0, 0}, NULL, {0}, 0};
    if (BSP_UacInit_s(instance, &request, &report) != 0) {
        return -1;
    }
    frame.pData = bytes;
    frame.u32Len = 4096;
    return BSP_UacSendFrame_m(instance, frame) | _BSP_UacGetCardStatus(0, instance->u8Card, &report);
}
