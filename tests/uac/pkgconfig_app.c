/* An application outside the tree, built only with what pkg-config (or
 * find_package) says about libuacbridge and libbsp_upgrade. */
#include <stdio.h>

#include <bsp_uac.h>
#include <bsp_uac_src.h>
#include <bsp_upgrade_inner.h>
#include <xu_uac.h>

int main(void)
{
    UAC_CONFIG_S config = {0};
    XU_UAC_Config_m(&config, PCM_IN, 2, 48000, 1024, 4, PCM_FORMAT_S16_LE);
    /* Calls into libuacbridge (and through it, its converter) and the
     * upgrade service: every library must load. */
    printf("%u %d\n", config.config.stop_threshold, (int)BSP_UacSrcGetCapacityByRate(16000, 16000, 2, 4096) - 1);
    return XU_UAC_GetPcm_BufSize(NULL) == 0xFFFFFFFFu && bspPartNumToStr((PARTITION_TYPE_E)0) != NULL ? 0 : 1;
}
