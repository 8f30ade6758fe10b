/*
 * bootward: boot-time guard of the application partitions and their twins.
 *
 * Mounts the application partition of the system that booted on /app, with up
 * to four attempts. When it will not come up the partition is marked bad, the
 * other system's kernel is repaired if needed, the record is switched to the
 * other system and the device reboots. When /app is up, eight twin checks
 * overwrite a bad or stale twin of the other system from the running system and
 * copy a finished upgrade of the running system onto its twin.
 */
#include <cstdio>
#include <cstring>

#include "bootward.h"
#include "bsp_upgrade_inner.h"
#include "tool_report.h"
#include "ubi_mount.h"

namespace {

/* What one twin check looks for. */
typedef enum tagCHECK_FLAG_E {
    CHECK_E_ERROR_FLAG = 0,   /* the other system's twin is bad or holds a finished upgrade */
    CHECK_E_UPGRADE_FLAG = 1, /* the running system's twin holds a finished upgrade */
} CHECK_FLAG_E;

/* The service's cause of a failure goes to standard error, after the guide's own line if it has one. */
const tool_kit::Tool kTool{"bootward"};

constexpr BU_U32 APP_MOUNT_RETRIES = 3;
constexpr const char *APP_PATH = "/app";
constexpr const char *APP_RESERVE = "/reserve";
constexpr const char *APP_RESERVE_DIR = "/reserve/";

BU_U32 bspCopySrcAppPartToDest(PARTITION_TYPE_E enDestPart)
{
    char acCmd[128];

    BU_RunCmd("mkdir -p /reserve");

    /* The destination must be neither mounted nor attached while it is formatted. */
    bspAttachMountUbifs(enDestPart, APP_RESERVE_DIR, UBI_MOUNT_FLAG_DOWN);

    memset(acCmd, 0, sizeof(acCmd));
    snprintf(acCmd, sizeof(acCmd), "ubiformat /dev/mtd%d -f /backup/app.ubifs -y", (int)enDestPart);
    if (BU_RunCmd(acCmd) != 0) {
        printf("[%s: %d] %s error\n", "bspCopySrcAppPartToDest", 150, acCmd);
        return (BU_U32)-1;
    }

    if (bspAttachMountUbifs(enDestPart, APP_RESERVE, UBI_MOUNT_FLAG_UP) != 0) {
        printf("[%s: %d] bspAttachMountUbifs error\n", "bspCopySrcAppPartToDest", 156);
        return (BU_U32)-1;
    }

    /* The image's own files give way to those of the running system. */
    BU_RunCmd("rm -rf /reserve/*");
    BU_RunCmd("sync ");
    BU_RunCmd("cp -rf /app/* /reserve/");
    BU_RunCmd("sync");

    /* Never remove the mount point while the rebuilt volume may still sit on it. */
    if (bspAttachMountUbifs(enDestPart, APP_RESERVE_DIR, UBI_MOUNT_FLAG_DOWN) == 0) {
        BU_RunCmd("rm -rf /reserve");
    }
    return 0;
}

/* Copies at most the whole name field and always leaves it NUL-terminated. */
void bspSetPartName(PART_INFO_HEAD_S *pstPartInfo, const char *pcName)
{
    const size_t nameLen = strnlen(pcName, sizeof(pstPartInfo->as8PartName) - 1);
    memcpy(pstPartInfo->as8PartName, pcName, nameLen);
    pstPartInfo->as8PartName[nameLen] = '\0';
}

BU_S32 bspUpdateBootInfo(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enSrcPart, PARTITION_TYPE_E enDestPart)
{
    pstBootInfo->aenUpgradeStat[enSrcPart] = UPGRADE_E_NONE;
    pstBootInfo->aenPartStat[enSrcPart] = PARTITION_STAT_E_OK_DATA;
    pstBootInfo->aenUpgradeStat[enDestPart] = UPGRADE_E_NONE;
    pstBootInfo->aenPartStat[enDestPart] = PARTITION_STAT_E_OK_DATA;

    PART_INFO_HEAD_S *pstDestInfo = &pstBootInfo->astPartInfo[enDestPart];
    memcpy(pstDestInfo, &pstBootInfo->astPartInfo[enSrcPart], sizeof(*pstDestInfo));
    bspSetPartName(pstDestInfo, bspPartNumToStr(enDestPart));
    pstDestInfo->enPartType = enDestPart;

    if (BSP_SetBootMode(pstBootInfo) != 0) {
        puts("BSP_SetBootMode error");
        tool_kit::say(kTool, "storing the boot-information record failed: %s", BSP_GetUpgradeError());
        return -1;
    }
    return 0;
}

/* A store whose failure changes nothing in the guide's course, but must not go unsaid. */
void bspStoreBootInfo(BOOT_INFO_S *pstBootInfo)
{
    if (BSP_SetBootMode(pstBootInfo) != 0) {
        tool_kit::say(kTool, "storing the boot-information record failed: %s", BSP_GetUpgradeError());
    }
}

bool bspIsAppPart(PARTITION_TYPE_E enPart)
{
    return enPart == PARTITION_E_APP_A || enPart == PARTITION_E_APP_B;
}

BU_S32 bspUpdatePart(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enSrcPart, PARTITION_TYPE_E enDestPart)
{
    BU_S32 s32Ret;

    /* An application partition is rebuilt from the files under /app; the boot chain is copied raw. */
    if (bspIsAppPart(enDestPart)) {
        s32Ret = (BU_S32)bspCopySrcAppPartToDest(enDestPart);
    } else {
        s32Ret = BSP_CopySrcPartitionToDest(pstBootInfo, enSrcPart, enDestPart);
    }
    if (s32Ret != 0) {
        printf("[%s:%d]: copy %s to %s error\n", "bspUpdatePart", 195, bspPartNumToStr(enSrcPart),
               bspPartNumToStr(enDestPart));
        /* A failed rebuild has said what went wrong; the raw copy is the service's alone. */
        if (!bspIsAppPart(enDestPart)) {
            tool_kit::say(kTool, "copy of %s onto %s failed: %s", bspPartNumToStr(enSrcPart),
                          bspPartNumToStr(enDestPart), BSP_GetUpgradeError());
        }
        return -1;
    }

    /* The copy is done whether or not the record could be stored; a failed store reports itself. */
    bspUpdateBootInfo(pstBootInfo, enSrcPart, enDestPart);

    printf("[%s:%d]: copy %s to %s success\n", "bspUpdatePart", 203, bspPartNumToStr(enSrcPart),
           bspPartNumToStr(enDestPart));
    return 0;
}

bool bspIsFinished(const BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enPart)
{
    return pstBootInfo->aenUpgradeStat[enPart] == UPGRADE_E_FINISH;
}

bool bspIsWrong(const BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enPart)
{
    return pstBootInfo->aenPartStat[enPart] == PARTITION_STAT_E_WRONG_DATA;
}

/* Prints the row's message, copies, and reports a failed copy with the row's line number. */
void bspRepairTwin(BOOT_INFO_S *pstBootInfo, const char *pcFormat, PARTITION_TYPE_E enNamedPart,
                   PARTITION_TYPE_E enSrcPart, PARTITION_TYPE_E enDestPart, BU_S32 s32Line)
{
    printf(pcFormat, bspPartNumToStr(enNamedPart));
    if (bspUpdatePart(pstBootInfo, enSrcPart, enDestPart) != 0) {
        printf("[%s:%d]: bspUpdatePart error\n", "bspCheckPartState", (int)s32Line);
    }
}

constexpr const char *FIND_ERROR_FMT = "find error part %s\n";
constexpr const char *FIND_UPGRADE_FMT = "find upgrade success part %s\n";

/*
 * One twin check. The source is always the running system's twin and the
 * destination the other system's; a failed copy is reported and never stops
 * the caller's sequence.
 */
BU_S32 bspCheckPartState(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enPartTypeA, PARTITION_TYPE_E enPartTypeB,
                         CHECK_FLAG_E enCheckFlag)
{
    if (pstBootInfo->enBootType == BOOT_E_SYSTEM_A) {
        if (enCheckFlag == CHECK_E_ERROR_FLAG) {
            if (bspIsFinished(pstBootInfo, enPartTypeB) || bspIsWrong(pstBootInfo, enPartTypeB)) {
                bspRepairTwin(pstBootInfo, FIND_ERROR_FMT, enPartTypeB, enPartTypeA, enPartTypeB, 230);
            }
        } else if (enCheckFlag == CHECK_E_UPGRADE_FLAG) {
            if (bspIsFinished(pstBootInfo, enPartTypeA)) {
                bspRepairTwin(pstBootInfo, FIND_UPGRADE_FMT, enPartTypeA, enPartTypeA, enPartTypeB, 241);
            }
        }
    } else if (pstBootInfo->enBootType == BOOT_E_SYSTEM_B) {
        if (enCheckFlag == CHECK_E_ERROR_FLAG) {
            if (bspIsFinished(pstBootInfo, enPartTypeA) || bspIsWrong(pstBootInfo, enPartTypeA)) {
                bspRepairTwin(pstBootInfo, FIND_ERROR_FMT, enPartTypeA, enPartTypeB, enPartTypeA, 256);
            }
        } else if (enCheckFlag == CHECK_E_UPGRADE_FLAG) {
            if (bspIsFinished(pstBootInfo, enPartTypeB)) {
                bspRepairTwin(pstBootInfo, FIND_UPGRADE_FMT, enPartTypeB, enPartTypeB, enPartTypeA, 267);
            }
        }
    }
    return 0;
}

/* Repairs first, so that a pair repaired here is not copied again by the propagation that follows. */
BU_S32 bspCheckAllPart(BOOT_INFO_S *pstBootInfo)
{
    static const CHECK_FLAG_E aenFlags[] = {CHECK_E_ERROR_FLAG, CHECK_E_UPGRADE_FLAG};
    static const PARTITION_TYPE_E aenPairs[][2] = {
        {PARTITION_E_IPL_CUST_A, PARTITION_E_IPL_CUST_B},
        {PARTITION_E_UBOOT_A, PARTITION_E_UBOOT_B},
        {PARTITION_E_KERNEL_A, PARTITION_E_KERNEL_B},
        {PARTITION_E_APP_A, PARTITION_E_APP_B},
    };

    for (CHECK_FLAG_E enFlag : aenFlags) {
        for (const auto &aenPair : aenPairs) {
            bspCheckPartState(pstBootInfo, aenPair[0], aenPair[1], enFlag);
        }
    }
    return 0;
}

/* Any boot type other than system B runs system A. */
PARTITION_TYPE_E bspActiveAppPart(const BOOT_INFO_S *pstBootInfo)
{
    return (pstBootInfo->enBootType == BOOT_E_SYSTEM_B) ? PARTITION_E_APP_B : PARTITION_E_APP_A;
}

BU_S32 bspGuideAppPart(BOOT_INFO_S *pstBootInfo)
{
    const PARTITION_TYPE_E enAppPart = bspActiveAppPart(pstBootInfo);

    if (bspAttachMountUbifs(enAppPart, APP_PATH, UBI_MOUNT_FLAG_UP) == 0) {
        return 0;
    }

    /* A partition left attached makes the attach fail; take it down before each retry. */
    for (BU_U32 u32Retry = 0; u32Retry < APP_MOUNT_RETRIES; u32Retry++) {
        bspAttachMountUbifs(enAppPart, APP_PATH, UBI_MOUNT_FLAG_DOWN);
        if (bspAttachMountUbifs(enAppPart, APP_PATH, UBI_MOUNT_FLAG_UP) == 0) {
            return 0;
        }
    }

    pstBootInfo->aenPartStat[enAppPart] = PARTITION_STAT_E_WRONG_DATA;
    pstBootInfo->aenUpgradeStat[enAppPart] = UPGRADE_E_NONE;
    bspStoreBootInfo(pstBootInfo);
    return -1;
}

/* System A switches to B; every other value, B included, switches to A. */
BOOT_TYPE_E bspOtherSystem(BOOT_TYPE_E enBootType)
{
    return (enBootType == BOOT_E_SYSTEM_A) ? BOOT_E_SYSTEM_B : BOOT_E_SYSTEM_A;
}

constexpr const char *BOOTWARD_USAGE =
    "Usage: bootward\n"
    "Boot-time guard of the application partitions, run once at boot before cfgward.\n"
    "Mounts the booted system's application partition on /app (four attempts), repairs or\n"
    "updates the other system's twin partitions from the running system, and when /app\n"
    "cannot be mounted marks it bad, switches the boot system and reboots. Exit status 0.\n";

} // namespace

extern "C" void bspBuildDir(void)
{
    BU_RunCmd("mkdir -p /app");
    BU_RunCmd("mkdir -p /parameter0");
    BU_RunCmd("mkdir -p /parameter1");
    BU_RunCmd("mkdir -p /log");
}

extern "C" int BSP_SystemGuide(void)
{
    /* Zeroed first, so the record is defined whatever the service does on a failed read. */
    BOOT_INFO_S stBootInfo;
    memset(&stBootInfo, 0, sizeof(stBootInfo));

    bspBuildDir();

    if (BSP_GetBootMode(&stBootInfo) != 0) {
        puts("BSP_GetBootMode error");
        tool_kit::say(kTool, "cannot read the boot-information record: %s", BSP_GetUpgradeError());
    }

    if (bspGuideAppPart(&stBootInfo) == 0) {
        bspCheckAllPart(&stBootInfo);
        return 0;
    }

    puts("bspGuideAppPart error");
    /* The system about to boot must not start from a bad or half-upgraded kernel. */
    bspCheckPartState(&stBootInfo, PARTITION_E_KERNEL_A, PARTITION_E_KERNEL_B, CHECK_E_ERROR_FLAG);
    stBootInfo.enBootType = bspOtherSystem(stBootInfo.enBootType);
    bspStoreBootInfo(&stBootInfo);
    BU_RunCmd("reboot");
    return -1;
}

int bootward_main(int argc, char **argv)
{
    /* The guide takes no options; asking for help must never touch a partition. */
    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(BOOTWARD_USAGE, stdout);
        return 0;
    }

    BSP_SystemGuide();
    return 0;
}
