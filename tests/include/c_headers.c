/* The shared headers must build in C programs too; this unit is compiled as C. */
#include "bsp_uac.h"
#include "bsp_upgrade_inner.h"
#include "utils_type.h"
#include "xu_uac.h"
#include <tinyalsa/asoundlib.h>

BU_S32 c_header_check(void);

BU_S32 c_header_check(void)
{
    BOOT_INFO_S record = {0};
    record.enBootType = BOOT_E_SYSTEM_B;
    return (BU_S32)sizeof(record.astPartInfo[0].as8PartName) + (BU_S32)record.enBootType;
}
