/*
 * cfgward: boot-time guard of the two configuration partitions.
 *
 * Mounts parameter A on /parameter0 and parameter B on /parameter1. A side that
 * will not mount is rebuilt from the backup image and the files of its twin;
 * when neither mounts both are reset from the image; when both mount, a side
 * whose configuration upgrade finished is copied onto the other.
 */
#include <cstdio>
#include <cstring>

#include "bsp_upgrade_inner.h"
#include "cfgward.h"
#include "tool_report.h"
#include "ubi_mount.h"

namespace {

/* The service's cause of a failure goes to standard error, beside the guide's own lines. */
const tool_kit::Tool kTool{"cfgward"};

constexpr BU_U32 CFG_MOUNT_ATTEMPTS = 3;
constexpr const char *CFG_PATH_A = "/parameter0";
constexpr const char *CFG_PATH_B = "/parameter1";
constexpr const char *CFG_RESERVE = "/reserve";

const char *bspCfgPathOf(PARTITION_TYPE_E enCfgPart)
{
    return (enCfgPart == PARTITION_E_PARAMETER_A) ? CFG_PATH_A : CFG_PATH_B;
}

/* The copy that fills a rebuilt side takes the files of the other side. */
const char *bspCfgTwinCopyOf(PARTITION_TYPE_E enCfgPart)
{
    return (enCfgPart == PARTITION_E_PARAMETER_A) ? "cp -rf /parameter1/* /reserve/" : "cp -rf /parameter0/* /reserve/";
}

/* Every store of the record; a failure is said with its cause, and its status returned. */
BU_S32 bspStoreBootInfo(BOOT_INFO_S *pstBootInfo)
{
    const BU_S32 s32Ret = BSP_SetBootMode(pstBootInfo);
    if (s32Ret != 0) {
        tool_kit::say(kTool, "storing the boot-information record failed: %s", BSP_GetUpgradeError());
    }
    return s32Ret;
}

BU_S32 bspFormatCfgPart(PARTITION_TYPE_E enCfgPart, char *acCmd, size_t cmdSize)
{
    memset(acCmd, 0, cmdSize);
    snprintf(acCmd, cmdSize, "ubiformat /dev/mtd%d -f /backup/parameter.ubifs -y", (int)enCfgPart);
    return BU_RunCmd(acCmd);
}

BU_S32 bspResOneCfgPart(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enCfgPart)
{
    char acCmd[128];
    const char *pcPath = bspCfgPathOf(enCfgPart);

    bspAttachMountUbifs(enCfgPart, pcPath, UBI_MOUNT_FLAG_DOWN);

    /*
     * From the format on, the side holds the image's files until the copy
     * below is done, and it mounts fine. A power cut in between would leave it
     * so for good unless the record says the rebuild is unfinished; the next
     * run then takes it up again (bspFindUnfinishedCfgPart).
     */
    pstBootInfo->aenPartStat[enCfgPart] = PARTITION_STAT_E_WRONG_DATA;
    bspStoreBootInfo(pstBootInfo);

    if (bspFormatCfgPart(enCfgPart, acCmd, sizeof(acCmd)) != 0) {
        printf("[%s: %d] %s error\n", "bspResOneCfgPart", 120, acCmd);
        return -1;
    }

    BU_RunCmd("mkdir -p /reserve");
    if (bspAttachMountUbifs(enCfgPart, CFG_RESERVE, UBI_MOUNT_FLAG_UP) != 0) {
        printf("[%s: %d] bspAttachMountUbifs parameter error\n", "bspResOneCfgPart", 127);
        return -1;
    }

    BU_RunCmd("rm -rf /reserve/*");
    BU_RunCmd(bspCfgTwinCopyOf(enCfgPart));
    BU_RunCmd("sync");

    /* Never remove the mount point while the rebuilt volume may still sit on it. */
    if (bspAttachMountUbifs(enCfgPart, CFG_RESERVE, UBI_MOUNT_FLAG_DOWN) == 0) {
        BU_RunCmd("rm -rf /reserve");
    }

    bspAttachMountUbifs(enCfgPart, pcPath, UBI_MOUNT_FLAG_UP);

    pstBootInfo->aenPartStat[enCfgPart] = PARTITION_STAT_E_OK_DATA;
    return bspStoreBootInfo(pstBootInfo);
}

BU_U32 bspResAllCfgPart(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enPartTypeA, PARTITION_TYPE_E enPartTypeB)
{
    char acCmd[128];

    bspAttachMountUbifs(enPartTypeA, CFG_PATH_A, UBI_MOUNT_FLAG_DOWN);
    bspAttachMountUbifs(enPartTypeB, CFG_PATH_B, UBI_MOUNT_FLAG_DOWN);

    if (bspFormatCfgPart(enPartTypeA, acCmd, sizeof(acCmd)) != 0) {
        printf("[%s: %d] %s error\n", "bspResAllCfgPart", 171, acCmd);
        return (BU_U32)-1;
    }
    if (bspFormatCfgPart(enPartTypeB, acCmd, sizeof(acCmd)) != 0) {
        printf("[%s: %d] %s error\n", "bspResAllCfgPart", 178, acCmd);
        return (BU_U32)-1;
    }

    BU_S32 s32Ret = bspAttachMountUbifs(enPartTypeA, CFG_PATH_A, UBI_MOUNT_FLAG_UP);
    s32Ret |= bspAttachMountUbifs(enPartTypeB, CFG_PATH_B, UBI_MOUNT_FLAG_UP);
    if (s32Ret != 0) {
        printf("[%s: %d] bspAttachMountUbifs error\n", "bspResAllCfgPart", 185);
        return (BU_U32)-1;
    }

    pstBootInfo->aenPartStat[enPartTypeA] = PARTITION_STAT_E_OK_DATA;
    pstBootInfo->aenPartStat[enPartTypeB] = PARTITION_STAT_E_OK_DATA;
    bspStoreBootInfo(pstBootInfo);
    return 0;
}

BU_U32 bspCheckCfgUpgradeStat(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enPartTypeA, PARTITION_TYPE_E enPartTypeB)
{
    PARTITION_TYPE_E enDstPart;

    if (pstBootInfo->aenUpgradeStat[enPartTypeA] == UPGRADE_E_FINISH) {
        enDstPart = enPartTypeB;
        pstBootInfo->aenUpgradeStat[enPartTypeA] = UPGRADE_E_NONE;
    } else if (pstBootInfo->aenUpgradeStat[enPartTypeB] == UPGRADE_E_FINISH) {
        enDstPart = enPartTypeA;
        pstBootInfo->aenUpgradeStat[enPartTypeB] = UPGRADE_E_NONE;
    } else {
        return 0;
    }

    if (bspResOneCfgPart(pstBootInfo, enDstPart) != 0) {
        printf("[%s: %d] bspResOneCfgPart error\n", "bspCheckCfgUpgradeStat", 224);
        return (BU_U32)-1;
    }

    return (BU_U32)bspStoreBootInfo(pstBootInfo);
}

/*
 * A side whose rebuild was cut off mounts but still carries its mark; it is
 * rebuilt from its twin. Only one marked side can be taken up: with both
 * marked there is no good twin to take the files from.
 */
bool bspFindUnfinishedCfgPart(const BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E *penCfgPart)
{
    const bool bWrongA = pstBootInfo->aenPartStat[PARTITION_E_PARAMETER_A] == PARTITION_STAT_E_WRONG_DATA;
    const bool bWrongB = pstBootInfo->aenPartStat[PARTITION_E_PARAMETER_B] == PARTITION_STAT_E_WRONG_DATA;
    if (bWrongA == bWrongB) {
        return false;
    }
    *penCfgPart = bWrongA ? PARTITION_E_PARAMETER_A : PARTITION_E_PARAMETER_B;
    return true;
}

/* The side a finished configuration upgrade would be copied onto, as bspCheckCfgUpgradeStat picks it. */
bool bspFindPendingCfgDest(const BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enPartTypeA, PARTITION_TYPE_E enPartTypeB,
                           PARTITION_TYPE_E *penDstPart)
{
    if (pstBootInfo->aenUpgradeStat[enPartTypeA] == UPGRADE_E_FINISH) {
        *penDstPart = enPartTypeB;
        return true;
    }
    if (pstBootInfo->aenUpgradeStat[enPartTypeB] == UPGRADE_E_FINISH) {
        *penDstPart = enPartTypeA;
        return true;
    }
    return false;
}

/* Every attempt, the first one included, starts by taking the side down. */
BU_S32 bspMountCfgPart(PARTITION_TYPE_E enCfgPart, const char *pcPath)
{
    BU_S32 s32Flag = -1;

    for (BU_U32 u32Count = 0; u32Count < CFG_MOUNT_ATTEMPTS; u32Count++) {
        bspAttachMountUbifs(enCfgPart, pcPath, UBI_MOUNT_FLAG_DOWN);
        s32Flag = bspAttachMountUbifs(enCfgPart, pcPath, UBI_MOUNT_FLAG_UP);
        if (s32Flag == 0) {
            break;
        }
    }
    return s32Flag;
}

BU_S32 bspGuideCfgPartition(BOOT_INFO_S *pstBootInfo)
{
    const PARTITION_TYPE_E enCfgPartA = PARTITION_E_PARAMETER_A;
    const PARTITION_TYPE_E enCfgPartB = PARTITION_E_PARAMETER_B;

    BU_S32 s32FlagA = bspMountCfgPart(enCfgPartA, CFG_PATH_A);
    BU_S32 s32FlagB = bspMountCfgPart(enCfgPartB, CFG_PATH_B);

    if (s32FlagA == 0 && s32FlagB == 0) {
        PARTITION_TYPE_E enUnfinished;
        PARTITION_TYPE_E enPending;
        /* A side that a finished upgrade is about to be copied onto is rebuilt by that copy: once is enough. */
        const bool bRebuiltByPropagation = bspFindPendingCfgDest(pstBootInfo, enCfgPartA, enCfgPartB, &enPending);
        if (bspFindUnfinishedCfgPart(pstBootInfo, &enUnfinished) &&
            !(bRebuiltByPropagation && enPending == enUnfinished) && bspResOneCfgPart(pstBootInfo, enUnfinished) != 0) {
            printf("[%s %d]: bspResOneCfgPart error\n", "bspGuideCfgPartition", 301);
            return -1;
        }
        if (bspCheckCfgUpgradeStat(pstBootInfo, enCfgPartA, enCfgPartB) != 0) {
            printf("[%s %d]: bspCheckCfgUpgradeStat error\n", "bspGuideCfgPartition", 271);
            return -1;
        }
        return 0;
    }

    BU_S32 s32Flag = (s32FlagA != 0 && s32FlagB != 0) ? 1 : 0;
    if (s32Flag != 0) {
        pstBootInfo->aenPartStat[enCfgPartA] = PARTITION_STAT_E_WRONG_DATA;
        pstBootInfo->aenPartStat[enCfgPartB] = PARTITION_STAT_E_WRONG_DATA;
        if (bspResAllCfgPart(pstBootInfo, enCfgPartA, enCfgPartB) != 0) {
            printf("[%s %d]: bspResAllCfgPart error\n", "bspGuideCfgPartition", 293);
            return -1;
        }
        return 0;
    }

    PARTITION_TYPE_E enDstCfgPart = (s32FlagA != 0) ? enCfgPartA : enCfgPartB;
    pstBootInfo->aenPartStat[enDstCfgPart] = PARTITION_STAT_E_WRONG_DATA;
    if (bspResOneCfgPart(pstBootInfo, enDstCfgPart) != 0) {
        printf("[%s %d]: bspResOneCfgPart error\n", "bspGuideCfgPartition", 301);
        return -1;
    }
    return 0;
}

constexpr const char *CFGWARD_USAGE =
    "Usage: cfgward\n"
    "Boot-time guard of the configuration partitions, run once after bootward.\n"
    "Mounts parameter A on /parameter0 and parameter B on /parameter1, rebuilds a side\n"
    "that does not mount from /backup/parameter.ubifs and its twin's files, and copies a\n"
    "finished configuration upgrade onto the twin. Exit status 0, or 255 when a rebuild failed.\n";

} // namespace

int cfgward_main(int argc, char **argv)
{
    /* The guide takes no options; asking for help must never reformat a partition. */
    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(CFGWARD_USAGE, stdout);
        return 0;
    }

    /* Zeroed first, so the record is defined whatever the service does on a failed read. */
    BOOT_INFO_S stBootInfo;
    memset(&stBootInfo, 0, sizeof(stBootInfo));

    if (BSP_GetBootMode(&stBootInfo) != 0) {
        puts("BSP_GetBootMode error");
        tool_kit::say(kTool, "cannot read the boot-information record: %s", BSP_GetUpgradeError());
    }

    if (bspGuideCfgPartition(&stBootInfo) != 0) {
        puts("bspGuideCfgPartition error");
        return -1;
    }
    return 0;
}
