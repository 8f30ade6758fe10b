// The upgrade service's record calls and the raw twin copy.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bsp_upgrade_inner.h"
#include "file_medium.h"
#include "flash.h"
#include "last_error.h"
#include "record_store.h"
#include "store_config.h"
#include "store_lock.h"

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

// Runs fn on the store with the store's lock held: shared to read, exclusive
// to store. The lock goes with the descriptor when the medium is closed.
template <typename Fn> Status with_medium(LockMode mode, Fn &&fn)
{
    const bool write = mode == LockMode::Exclusive;
    if (BSP_UPGRADE_STORE_IS_MTD) {
        MtdFlash flash(BSP_UPGRADE_STORE_PATH, write ? MtdFlash::Access::ReadWrite : MtdFlash::Access::ReadOnly);
        if (!flash.ok()) {
            return flash.status();
        }
        Status st = lock_store(flash.fd(), mode);
        if (!st) {
            return st;
        }
        FlashMedium medium(flash);
        return fn(medium);
    }
    FileMedium medium(BSP_UPGRADE_STORE_PATH, write ? FileMedium::Access::ReadWrite : FileMedium::Access::ReadOnly);
    Status st = medium.open();
    if (!st) {
        return st;
    }
    st = lock_store(medium.fd(), mode);
    if (!st) {
        return st;
    }
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
        return remember(Status::failure("no record given", nullptr, EINVAL));
    }
    Status st =
        with_medium(LockMode::Shared, [&](SlotMedium &m) { return load_record(m, pstBootInfo, sizeof(*pstBootInfo)); });
    if (!st) {
        fill_default_record(pstBootInfo);
    }
    return remember(st);
}

extern "C" BU_S32 BSP_SetBootMode(BOOT_INFO_S *pstBootInfo)
{
    if (pstBootInfo == nullptr) {
        return remember(Status::failure("no record given", nullptr, EINVAL));
    }
    return remember(with_medium(LockMode::Exclusive,
                                [&](SlotMedium &m) { return store_record(m, pstBootInfo, sizeof(*pstBootInfo)); }));
}

extern "C" BU_S32 BSP_CopySrcPartitionToDest(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enSrcPart,
                                             PARTITION_TYPE_E enDestPart)
{
    (void)pstBootInfo; // the caller records the copy itself
    if (!is_twin_pair(enSrcPart, enDestPart)) {
        return remember(Status::failure("not a pair of boot-chain twins", nullptr, EINVAL));
    }
    char src_path[32];
    char dst_path[32];
    snprintf(src_path, sizeof(src_path), "/dev/mtd%d", static_cast<int>(enSrcPart));
    snprintf(dst_path, sizeof(dst_path), "/dev/mtd%d", static_cast<int>(enDestPart));
    MtdFlash src(src_path, MtdFlash::Access::ReadOnly);
    if (!src.ok()) {
        return remember(src.status());
    }
    MtdFlash dst(dst_path, MtdFlash::Access::ReadWrite);
    if (!dst.ok()) {
        return remember(dst.status());
    }
    return remember(copy_partition(src, dst));
}
