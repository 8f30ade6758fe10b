// The upgrade service's record calls and the raw twin copy.
#include <cstdio>
#include <cstring>

#include "bsp_upgrade_inner.h"
#include "file_medium.h"
#include "flash.h"
#include "record_store.h"
#include "store_config.h"

namespace {

using namespace bsp_upgrade;

// What a device boots with when no stored record can be read.
void fill_default_record(BOOT_INFO_S *record)
{
    memset(record, 0, sizeof(*record));
    record->enBootType = BOOT_E_SYSTEM_A;
    for (int i = 0; i < PARTITION_E_BUTT; i++) {
        record->aenUpgradeStat[i] = UPGRADE_E_NONE;
        record->aenPartStat[i] = PARTITION_STAT_E_OK_DATA;
    }
}

template <typename Fn> bool with_medium(Fn &&fn)
{
    if (BSP_UPGRADE_STORE_IS_MTD) {
        MtdFlash flash(BSP_UPGRADE_STORE_PATH);
        if (!flash.ok()) {
            return false;
        }
        FlashMedium medium(flash);
        return fn(medium);
    }
    FileMedium medium(BSP_UPGRADE_STORE_PATH);
    return fn(medium);
}

// Only the boot-chain twins are copied raw; anything else is refused, so a
// wrong index can never overwrite the record's own partition or a UBI volume.
bool is_twin_pair(PARTITION_TYPE_E src, PARTITION_TYPE_E dst)
{
    const PARTITION_TYPE_E a = (src < dst) ? src : dst;
    const PARTITION_TYPE_E b = (src < dst) ? dst : src;
    return (a == PARTITION_E_IPL_CUST_A && b == PARTITION_E_IPL_CUST_B) ||
           (a == PARTITION_E_UBOOT_A && b == PARTITION_E_UBOOT_B) ||
           (a == PARTITION_E_KERNEL_A && b == PARTITION_E_KERNEL_B);
}

} // namespace

extern "C" BU_S32 BSP_GetBootMode(BOOT_INFO_S *pstBootInfo)
{
    if (pstBootInfo == nullptr) {
        return -1;
    }
    if (with_medium([&](SlotMedium &m) { return load_record(m, pstBootInfo, sizeof(*pstBootInfo)); })) {
        return 0;
    }
    fill_default_record(pstBootInfo);
    return -1;
}

extern "C" BU_S32 BSP_SetBootMode(BOOT_INFO_S *pstBootInfo)
{
    if (pstBootInfo == nullptr) {
        return -1;
    }
    return with_medium([&](SlotMedium &m) { return store_record(m, pstBootInfo, sizeof(*pstBootInfo)); }) ? 0 : -1;
}

extern "C" BU_S32 BSP_CopySrcPartitionToDest(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enSrcPart,
                                             PARTITION_TYPE_E enDestPart)
{
    (void)pstBootInfo; // the caller records the copy itself
    if (!is_twin_pair(enSrcPart, enDestPart)) {
        return -1;
    }
    char src_path[32];
    char dst_path[32];
    snprintf(src_path, sizeof(src_path), "/dev/mtd%d", static_cast<int>(enSrcPart));
    snprintf(dst_path, sizeof(dst_path), "/dev/mtd%d", static_cast<int>(enDestPart));
    MtdFlash src(src_path);
    MtdFlash dst(dst_path);
    if (!src.ok() || !dst.ok()) {
        return -1;
    }
    return copy_partition(src, dst) ? 0 : -1;
}
