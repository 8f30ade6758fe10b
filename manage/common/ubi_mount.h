/*
 * Bringing a UBI-on-MTD partition up (attach + mount) or down (umount +
 * detach) through shell command lines run by the upgrade service.
 *
 * Both guides include this file, so the routine is compiled into each of them
 * with internal linkage.
 */
#ifndef MANAGE_COMMON_UBI_MOUNT_H
#define MANAGE_COMMON_UBI_MOUNT_H

#include <cstdio>
#include <cstring>

#include "bsp_upgrade_inner.h"

enum {
    UBI_MOUNT_FLAG_DOWN = 0,
    UBI_MOUNT_FLAG_UP = 1,
};

/* The UBI device number of each partition is fixed, whatever the mount point. */
static inline BU_S32 bspUbiDevOfPart(PARTITION_TYPE_E enAppPart)
{
    switch (enAppPart) {
    case PARTITION_E_LOG:
        return 0;
    case PARTITION_E_APP_A:
        return 1;
    case PARTITION_E_APP_B:
        return 2;
    case PARTITION_E_PARAMETER_A:
        return 3;
    case PARTITION_E_PARAMETER_B:
        return 4;
    default:
        return -1;
    }
}

/*
 * s32Flag 1 attaches and mounts, 0 unmounts and detaches, anything else does
 * nothing. Both commands always run; the result is their statuses ORed, or -1
 * for a partition that carries no UBI volume.
 */
static inline BU_S32 bspAttachMountUbifs(PARTITION_TYPE_E enAppPart, const char *pcPath, BU_S32 s32Flag)
{
    char acCmd[128];
    BU_S32 s32Ret = 0;
    BU_S32 s32UbiDev = bspUbiDevOfPart(enAppPart);

    if (s32UbiDev < 0) {
        printf("don't support part %d", (int)enAppPart);
        return -1;
    }

    if (s32Flag == UBI_MOUNT_FLAG_UP) {
        memset(acCmd, 0, sizeof(acCmd));
        snprintf(acCmd, sizeof(acCmd), "ubiattach /dev/ubi_ctrl -m %d -d %d", (int)enAppPart, (int)s32UbiDev);
        s32Ret = BU_RunCmd(acCmd);

        memset(acCmd, 0, sizeof(acCmd));
        snprintf(acCmd, sizeof(acCmd), "mount -t ubifs ubi%d_0 %s", (int)s32UbiDev, pcPath);
        s32Ret |= BU_RunCmd(acCmd);
    } else if (s32Flag == UBI_MOUNT_FLAG_DOWN) {
        memset(acCmd, 0, sizeof(acCmd));
        snprintf(acCmd, sizeof(acCmd), "umount %s", pcPath);
        s32Ret = BU_RunCmd(acCmd);

        memset(acCmd, 0, sizeof(acCmd));
        snprintf(acCmd, sizeof(acCmd), "ubidetach -d %d /dev/ubi_ctrl", (int)s32UbiDev);
        s32Ret |= BU_RunCmd(acCmd);
    }

    return s32Ret;
}

#endif /* MANAGE_COMMON_UBI_MOUNT_H */
