#include "fake_upgrade.h"

#include <cstdio>
#include <cstring>

namespace fake_upgrade {

State &state()
{
    static State s;
    return s;
}

void reset(const BOOT_INFO_S &record)
{
    state() = State{};
    state().record = record;
}

void answer(const std::string &command, int status, int times)
{
    state().rules.push_back(Rule{command, status, times});
}

BOOT_INFO_S sample_record(int boot_type)
{
    BOOT_INFO_S r;
    memset(&r, 0, sizeof(r));
    r.u32Magic = 0x424f4f54;
    r.u32HeadVersion = 3;
    r.u32HeadCrc32 = 0x11223344;
    r.enBootType = static_cast<BOOT_TYPE_E>(boot_type);
    for (int i = 0; i < PARTITION_E_BUTT; i++) {
        PART_INFO_HEAD_S &h = r.astPartInfo[i];
        h.u32Magic = 0x50415254;
        h.u32HeadLen = sizeof(h);
        h.u32HeadCrc32 = 0x1000u + static_cast<unsigned>(i);
        h.u32HeadVersion = 2;
        h.u32BuildDate = 20260101u + static_cast<unsigned>(i);
        snprintf(h.as8PartName, sizeof(h.as8PartName), "%s", bspPartNumToStr(static_cast<PARTITION_TYPE_E>(i)));
        h.enPartType = static_cast<PARTITION_TYPE_E>(i);
        h.u32ImgLen = 4096u * static_cast<unsigned>(i + 1);
        h.u32ImgCrc32 = 0xC0DE0000u + static_cast<unsigned>(i);
        h.u32ImgVersion = 100u + static_cast<unsigned>(i);
        memset(h.s8Reserve, 'a' + i, sizeof(h.s8Reserve));
        r.aenUpgradeStat[i] = UPGRADE_E_NONE;
        r.aenPartStat[i] = PARTITION_STAT_E_OK_DATA;
    }
    r.au32SysVersion[0] = 0x01020304;
    r.au32SysVersion[1] = 0x05060708;
    memset(r.s8Reserve, 'R', sizeof(r.s8Reserve));
    r.u32DataCrc32 = 0xDEADBEEF;
    return r;
}

} // namespace fake_upgrade

using fake_upgrade::state;

namespace {

// Keeps the cause of a call's failure, as the service does, and passes its status on.
int remember(int status)
{
    state().last_error = status != 0 ? state().cause : "";
    return status;
}

} // namespace

extern "C" BU_S32 BSP_GetBootMode(BOOT_INFO_S *pstBootInfo)
{
    if (state().get_status == 0) {
        *pstBootInfo = state().record;
    }
    return remember(state().get_status);
}

extern "C" BU_S32 BSP_SetBootMode(BOOT_INFO_S *pstBootInfo)
{
    state().stores.push_back(*pstBootInfo);
    int status = state().set_status;
    if (!state().set_sequence.empty()) {
        status = state().set_sequence.front();
        state().set_sequence.erase(state().set_sequence.begin());
    }
    if (status == 0) {
        state().record = *pstBootInfo;
    }
    return remember(status);
}

extern "C" BU_S32 BU_RunCmd(const char *pcCmd)
{
    state().commands.emplace_back(pcCmd);
    for (auto &rule : state().rules) {
        if (rule.command == pcCmd && rule.times != 0) {
            if (rule.times > 0) {
                rule.times--;
            }
            return rule.status;
        }
    }
    return 0;
}

extern "C" BU_S32 BSP_CopySrcPartitionToDest(BOOT_INFO_S *pstBootInfo, PARTITION_TYPE_E enSrcPart,
                                             PARTITION_TYPE_E enDestPart)
{
    (void)pstBootInfo;
    state().copies.emplace_back(enSrcPart, enDestPart);
    return remember(state().copy_status);
}

extern "C" const BU_CHAR *BSP_GetUpgradeError(void)
{
    return state().last_error.c_str();
}
