/*
 * Boot-information record and the upgrade-service calls.
 *
 * The record is stored whole by libbsp_upgrade.so and shared by every program
 * that takes part in booting and upgrading the device, so its layout is fixed:
 * little-endian, every enum a 32-bit word, no gaps. The layout checks at the
 * end of this header hold on the 64-bit host and on 32-bit ARM alike.
 */
#ifndef BSP_UPGRADE_INNER_H
#define BSP_UPGRADE_INNER_H

#include <stddef.h>

#include "utils_type.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Partition index; also the partition's MTD number. */
typedef enum tagPARTITION_TYPE_E {
    PARTITION_E_IPL = 0,
    PARTITION_E_IPL_CUST_A = 1,
    PARTITION_E_IPL_CUST_B = 2,
    PARTITION_E_UBOOT_A = 3,
    PARTITION_E_UBOOT_B = 4,
    PARTITION_E_ENV = 5,
    PARTITION_E_RESERVE = 6,
    PARTITION_E_PARAMETER_A = 7,
    PARTITION_E_PARAMETER_B = 8,
    PARTITION_E_KERNEL_A = 9,
    PARTITION_E_KERNEL_B = 10,
    PARTITION_E_APP_A = 11,
    PARTITION_E_APP_B = 12,
    PARTITION_E_LOG = 13,
    PARTITION_E_BUTT = 14, /* number of slots in the record's arrays */
    PARTITION_E_XML = 15,  /* has no slot in the record */
    PARTTIION_E_END = 16
} PARTITION_TYPE_E;

/* Upgrade status of one partition. */
typedef enum tagUPGRADE_TYPE_E {
    UPGRADE_E_NONE = 10,
    UPGRADE_E_RUNNING = 11,
    UPGRADE_E_FAILED = 12,
    UPGRADE_E_FINISH = 13
} UPGRADE_TYPE_E;

/* The system that boots. */
typedef enum tagBOOT_TYPE_E { BOOT_E_SYSTEM_A = 0xAA, BOOT_E_SYSTEM_B = 0xBB } BOOT_TYPE_E;

/* Data status of one partition. */
typedef enum tagPARTITION_STAT_E { PARTITION_STAT_E_WRONG_DATA = 10, PARTITION_STAT_E_OK_DATA = 11 } PARTITION_STAT_E;

/* Header of the image held in one partition slot (572 bytes). */
typedef struct tagPART_INFO_HEAD_S {
    BU_U32 u32Magic;
    BU_U32 u32HeadLen;
    BU_U32 u32HeadCrc32;
    BU_U32 u32HeadVersion;
    BU_U32 u32BuildDate;
    BU_CHAR as8PartName[24];
    PARTITION_TYPE_E enPartType;
    BU_U32 u32ImgLen;
    BU_U32 u32ImgCrc32;
    BU_U32 u32ImgVersion;
    BU_CHAR s8Reserve[512];
} PART_INFO_HEAD_S;

/* The boot-information record (8656 bytes). */
typedef struct tagBOOT_INFO_S {
    BU_U32 u32Magic;
    BU_U32 u32HeadVersion;
    BU_U32 u32HeadCrc32;
    PART_INFO_HEAD_S astPartInfo[PARTITION_E_BUTT];
    BOOT_TYPE_E enBootType;
    UPGRADE_TYPE_E aenUpgradeStat[PARTITION_E_BUTT];
    PARTITION_STAT_E aenPartStat[PARTITION_E_BUTT];
    BU_U32 au32SysVersion[2];
    BU_CHAR s8Reserve[508];
    BU_U32 u32DataCrc32;
} BOOT_INFO_S;

/* Fills the caller's whole record from storage; 0 on success. */
BU_S32 BSP_GetBootMode(BOOT_INFO_S *pstBootInfo);

/* Stores the caller's whole record; 0 on success. */
BU_S32 BSP_SetBootMode(BOOT_INFO_S *pstBootInfo);

/* Runs one shell command line to completion; 0 when it succeeded. */
BU_S32 BU_RunCmd(const char *pcCmd);

/* Name of a partition (at most 23 characters); never null. */
const char *bspPartNumToStr(PARTITION_TYPE_E enPartType);

/* Copies the raw content of a boot-chain partition onto its twin; 0 on success. */
BU_S32 BSP_CopySrcPartitionToDest(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enSrcPart, PARTITION_TYPE_E enDestPart);

/* Why the calling thread's last call of the service above failed, in one line
 * ("erase of block 3 (MEMERASE64): Input/output error"); "" after a success.
 * The text stays valid until the thread's next call of the service. */
const BU_CHAR *BSP_GetUpgradeError(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define BSP_UPGRADE_LAYOUT_CHECK(cond, msg) static_assert(cond, msg)
#else
#define BSP_UPGRADE_LAYOUT_CHECK(cond, msg) _Static_assert(cond, msg)
#endif

BSP_UPGRADE_LAYOUT_CHECK(sizeof(PARTITION_TYPE_E) == 4, "enums are 32-bit words");
BSP_UPGRADE_LAYOUT_CHECK(sizeof(PART_INFO_HEAD_S) == 572, "PART_INFO_HEAD_S size");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(PART_INFO_HEAD_S, u32BuildDate) == 16, "u32BuildDate");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(PART_INFO_HEAD_S, as8PartName) == 20, "as8PartName");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(PART_INFO_HEAD_S, enPartType) == 44, "enPartType");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(PART_INFO_HEAD_S, u32ImgLen) == 48, "u32ImgLen");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(PART_INFO_HEAD_S, u32ImgVersion) == 56, "u32ImgVersion");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(PART_INFO_HEAD_S, s8Reserve) == 60, "s8Reserve");
BSP_UPGRADE_LAYOUT_CHECK(sizeof(BOOT_INFO_S) == 8656, "BOOT_INFO_S size");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, u32HeadCrc32) == 8, "u32HeadCrc32");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, astPartInfo) == 12, "astPartInfo");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, enBootType) == 8020, "enBootType");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, aenUpgradeStat) == 8024, "aenUpgradeStat");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, aenPartStat) == 8080, "aenPartStat");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, au32SysVersion) == 8136, "au32SysVersion");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, s8Reserve) == 8144, "s8Reserve");
BSP_UPGRADE_LAYOUT_CHECK(offsetof(BOOT_INFO_S, u32DataCrc32) == 8652, "u32DataCrc32");

#endif /* BSP_UPGRADE_INNER_H */
