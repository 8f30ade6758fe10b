/* An application outside the tree, built only with what
 * `pkg-config --cflags --libs libuacbridge` gives it. */
#include <stdio.h>

#include <bsp_uac.h>
#include <xu_uac.h>

int main(void)
{
    UAC_CONFIG_S config = {0};
    XU_UAC_Config_m(&config, PCM_IN, 2, 48000, 1024, 4, PCM_FORMAT_S16_LE);
    printf("%u\n", config.config.stop_threshold);
    return XU_UAC_GetPcm_BufSize(NULL) == 0xFFFFFFFFu ? 0 : 1;
}
