#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "capture_output.h"
#include "cfgward.h"
#include "fake_upgrade.h"
#include "guide_commands.h"

using fake_upgrade::state;

namespace {

const char *kPathOf[] = {"", "", "", "", "", "", "", "/parameter0", "/parameter1"};
Lines down(int part, const std::string &path)
{
    return take_down(part, path);
}

Lines up(int part, const std::string &path)
{
    return bring_up(part, path);
}

std::string format(int part)
{
    return format_from(part, "/backup/parameter.ubifs");
}

Lines attempts(int part, int n)
{
    Lines out;
    for (int i = 0; i < n; i++) {
        out = out + down(part, kPathOf[part]) + up(part, kPathOf[part]);
    }
    return out;
}

// The whole one-side rebuild of part from its twin's files.
Lines rebuild_one(int part)
{
    const std::string twin = part == 7 ? "/parameter1" : "/parameter0";
    return down(part, kPathOf[part]) + Lines{format(part), "mkdir -p /reserve"} + up(part, "/reserve") +
           Lines{"rm -rf /reserve/*", "cp -rf " + twin + "/* /reserve/", "sync"} + down(part, "/reserve") +
           Lines{"rm -rf /reserve"} + up(part, kPathOf[part]);
}

// The side's own mount line fails `times` times (always by default).
void fail_mount(int part, int times = -1)
{
    fake_upgrade::answer(up(part, kPathOf[part])[1], 1, times);
}

struct GuideRun {
    int status;
    std::string out;
};

GuideRun run_cfgward()
{
    char name[] = "cfgward";
    char *argv[] = {name, nullptr};
    CaptureStdout capture;
    int status = cfgward_main(1, argv);
    return GuideRun{status, capture.finish()};
}

} // namespace

class CfgwardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        original = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
        fake_upgrade::reset(original);
    }
    // The stored record must equal what was read but for the named changes.
    void expect_stored(size_t index, std::initializer_list<std::pair<int, PARTITION_STAT_E>> part_stat,
                       std::initializer_list<std::pair<int, UPGRADE_TYPE_E>> upgrade_stat)
    {
        ASSERT_LT(index, state().stores.size());
        BOOT_INFO_S expected = original;
        for (auto [slot, stat] : part_stat) {
            expected.aenPartStat[slot] = stat;
        }
        for (auto [slot, stat] : upgrade_stat) {
            expected.aenUpgradeStat[slot] = stat;
        }
        EXPECT_EQ(memcmp(&state().stores[index], &expected, sizeof(expected)), 0) << "store " << index;
    }
    BOOT_INFO_S original;
};

TEST_F(CfgwardTest, BothMountAtFirstAttemptAndNothingPending)
{
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1));
    EXPECT_TRUE(state().stores.empty());
}

TEST_F(CfgwardTest, SideMountsOnALaterAttempt)
{
    fake_upgrade::answer(up(8, "/parameter1")[1], 1, 2);
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 3));
    EXPECT_TRUE(state().stores.empty());
}

TEST_F(CfgwardTest, OneSideFailsAndIsRebuiltFromItsTwin)
{
    for (int bad : {7, 8}) {
        SCOPED_TRACE(bad);
        fake_upgrade::reset(original);
        fail_mount(bad);
        GuideRun r = run_cfgward();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        const Lines expected = attempts(7, bad == 7 ? 3 : 1) + attempts(8, bad == 8 ? 3 : 1) + rebuild_one(bad);
        EXPECT_EQ(state().commands, expected);
        // The side is marked unfinished on flash before its format, and good once rebuilt.
        ASSERT_EQ(state().stores.size(), 2u);
        expect_stored(0, {{bad, PARTITION_STAT_E_WRONG_DATA}}, {});
        expect_stored(1, {}, {});
    }
}

TEST_F(CfgwardTest, RebuildCutOffEarlierIsTakenUpAgain)
{
    // A side that mounts but is still marked from a rebuild that never finished.
    for (int marked : {7, 8}) {
        SCOPED_TRACE(marked);
        original = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
        original.aenPartStat[marked] = PARTITION_STAT_E_WRONG_DATA;
        fake_upgrade::reset(original);
        GuideRun r = run_cfgward();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1) + rebuild_one(marked));
        ASSERT_EQ(state().stores.size(), 2u);
        expect_stored(1, {{marked, PARTITION_STAT_E_OK_DATA}}, {});
    }

    // Both marked: no good twin to take files from, so nothing is rebuilt.
    original = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
    original.aenPartStat[7] = PARTITION_STAT_E_WRONG_DATA;
    original.aenPartStat[8] = PARTITION_STAT_E_WRONG_DATA;
    fake_upgrade::reset(original);
    EXPECT_EQ(run_cfgward().status, 0);
    EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1));
    EXPECT_TRUE(state().stores.empty());
}

TEST_F(CfgwardTest, FailedResumedRebuildFailsTheGuide)
{
    original.aenPartStat[8] = PARTITION_STAT_E_WRONG_DATA;
    fake_upgrade::reset(original);
    fake_upgrade::answer(format(8), 1);
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "[bspResOneCfgPart: 120] ubiformat /dev/mtd8 -f /backup/parameter.ubifs -y error\n"
                     "[bspGuideCfgPartition 301]: bspResOneCfgPart error\nbspGuideCfgPartition error\n");
}

TEST_F(CfgwardTest, BothSidesFailAndAreResetFromTheImage)
{
    fail_mount(7, 3);
    fail_mount(8, 3);
    state().set_status = -1; // a failed final store does not fail the reset
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const Lines expected = attempts(7, 3) + attempts(8, 3) + down(7, "/parameter0") + down(8, "/parameter1") +
                           Lines{format(7), format(8)} + up(7, "/parameter0") + up(8, "/parameter1");
    EXPECT_EQ(state().commands, expected);
    ASSERT_EQ(state().stores.size(), 1u);
    expect_stored(0, {}, {});
}

TEST_F(CfgwardTest, FinishedUpgradeIsPropagatedToTheTwin)
{
    struct Case {
        int finished;
        int rebuilt;
    };
    for (Case c : {Case{7, 8}, Case{8, 7}}) {
        SCOPED_TRACE(c.finished);
        original = fake_upgrade::sample_record(BOOT_E_SYSTEM_B);
        original.aenUpgradeStat[c.finished] = UPGRADE_E_FINISH;
        fake_upgrade::reset(original);
        GuideRun r = run_cfgward();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1) + rebuild_one(c.rebuilt));
        // The rebuild's mark before the format, its own store, and the one after it.
        ASSERT_EQ(state().stores.size(), 3u);
        expect_stored(0, {{c.rebuilt, PARTITION_STAT_E_WRONG_DATA}}, {{c.finished, UPGRADE_E_NONE}});
        expect_stored(1, {}, {{c.finished, UPGRADE_E_NONE}});
        expect_stored(2, {}, {{c.finished, UPGRADE_E_NONE}});
    }
}

TEST_F(CfgwardTest, BothFinishedHandlesSideAFirst)
{
    original.aenUpgradeStat[7] = UPGRADE_E_FINISH;
    original.aenUpgradeStat[8] = UPGRADE_E_FINISH;
    fake_upgrade::reset(original);
    EXPECT_EQ(run_cfgward().status, 0);
    EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1) + rebuild_one(8));
    expect_stored(2, {}, {{7, UPGRADE_E_NONE}});
}

TEST_F(CfgwardTest, FailuresPrintTheirMessagesAndNeverStoreARebuiltSideAsGood)
{
    struct Case {
        const char *name;
        UPGRADE_TYPE_E stat7;
        std::vector<int> failing_mounts;
        Lines failing_commands;
        std::string out;
        int marked; // the side a one-side rebuild marks before its format, or 0
    };
    const Case cases[] = {
        {"format during one-side rebuild",
         UPGRADE_E_NONE,
         {7},
         {format(7)},
         "[bspResOneCfgPart: 120] ubiformat /dev/mtd7 -f /backup/parameter.ubifs -y error\n"
         "[bspGuideCfgPartition 301]: bspResOneCfgPart error\nbspGuideCfgPartition error\n",
         7},
        {"mount on /reserve during propagation",
         UPGRADE_E_FINISH,
         {},
         {"mount -t ubifs ubi4_0 /reserve"},
         "[bspResOneCfgPart: 127] bspAttachMountUbifs parameter error\n"
         "[bspCheckCfgUpgradeStat: 224] bspResOneCfgPart error\n"
         "[bspGuideCfgPartition 271]: bspCheckCfgUpgradeStat error\nbspGuideCfgPartition error\n",
         8},
        {"format of A during reset",
         UPGRADE_E_NONE,
         {7, 8},
         {format(7)},
         "[bspResAllCfgPart: 171] ubiformat /dev/mtd7 -f /backup/parameter.ubifs -y error\n"
         "[bspGuideCfgPartition 293]: bspResAllCfgPart error\nbspGuideCfgPartition error\n",
         0},
        {"format of B during reset",
         UPGRADE_E_NONE,
         {7, 8},
         {format(8)},
         "[bspResAllCfgPart: 178] ubiformat /dev/mtd8 -f /backup/parameter.ubifs -y error\n"
         "[bspGuideCfgPartition 293]: bspResAllCfgPart error\nbspGuideCfgPartition error\n",
         0},
        {"mount after reset",
         UPGRADE_E_NONE,
         {8},
         {"mount -t ubifs ubi3_0 /parameter0"},
         "[bspResAllCfgPart: 185] bspAttachMountUbifs error\n"
         "[bspGuideCfgPartition 293]: bspResAllCfgPart error\nbspGuideCfgPartition error\n",
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        original = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
        original.aenUpgradeStat[7] = c.stat7;
        fake_upgrade::reset(original);
        for (int part : c.failing_mounts) {
            fail_mount(part);
        }
        for (const std::string &cmd : c.failing_commands) {
            fake_upgrade::answer(cmd, 1);
        }
        GuideRun r = run_cfgward();
        EXPECT_EQ(r.status, -1); // exit status 255
        EXPECT_EQ(r.out, c.out);
        if (c.marked == 0) {
            EXPECT_TRUE(state().stores.empty());
        } else {
            ASSERT_EQ(state().stores.size(), 1u);
            EXPECT_EQ(state().stores[0].aenPartStat[c.marked], PARTITION_STAT_E_WRONG_DATA);
        }
    }
}

TEST_F(CfgwardTest, FailedStoreFailsAOneSideRebuild)
{
    fail_mount(8);
    state().set_status = -1;
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "[bspGuideCfgPartition 301]: bspResOneCfgPart error\nbspGuideCfgPartition error\n");
    EXPECT_EQ(state().stores.size(), 2u);
}

TEST_F(CfgwardTest, FailedStoreDuringPropagationKeepsTheMarkForTheNextBoot)
{
    original.aenUpgradeStat[8] = UPGRADE_E_FINISH;
    fake_upgrade::reset(original);
    state().set_status = -1;
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "[bspCheckCfgUpgradeStat: 224] bspResOneCfgPart error\n"
                     "[bspGuideCfgPartition 271]: bspCheckCfgUpgradeStat error\nbspGuideCfgPartition error\n");
    EXPECT_EQ(state().record.aenUpgradeStat[8], UPGRADE_E_FINISH);
}

TEST_F(CfgwardTest, UnfinishedSideThatAnUpgradeGoesOntoIsRebuiltOnce)
{
    struct Case {
        int finished;
        int marked;
    };
    for (Case c : {Case{7, 8}, Case{8, 7}}) {
        SCOPED_TRACE(c.finished);
        original = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
        original.aenUpgradeStat[c.finished] = UPGRADE_E_FINISH;
        original.aenPartStat[c.marked] = PARTITION_STAT_E_WRONG_DATA;
        fake_upgrade::reset(original);
        GuideRun r = run_cfgward();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1) + rebuild_one(c.marked));
        ASSERT_EQ(state().stores.size(), 3u);
        expect_stored(2, {{c.marked, PARTITION_STAT_E_OK_DATA}}, {{c.finished, UPGRADE_E_NONE}});
    }
}

TEST_F(CfgwardTest, FailedFinalTakeDownFromReserveKeepsTheFolder)
{
    // Only the take-down after the copy fails: /reserve may still hold the volume.
    fail_mount(8);
    fake_upgrade::answer("umount /reserve", 1);
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, 0);
    Lines expected = attempts(7, 1) + attempts(8, 3) + rebuild_one(8);
    expected.erase(std::find(expected.begin(), expected.end(), "rm -rf /reserve"));
    EXPECT_EQ(state().commands, expected);
    ASSERT_EQ(state().stores.size(), 2u);
    expect_stored(1, {}, {});

    // The same in a propagation.
    original.aenUpgradeStat[7] = UPGRADE_E_FINISH;
    fake_upgrade::reset(original);
    fake_upgrade::answer("umount /reserve", 1);
    EXPECT_EQ(run_cfgward().status, 0);
    expected = attempts(7, 1) + attempts(8, 1) + rebuild_one(8);
    expected.erase(std::find(expected.begin(), expected.end(), "rm -rf /reserve"));
    EXPECT_EQ(state().commands, expected);
}

TEST_F(CfgwardTest, FailedFinalStoreOfAPropagationFailsTheGuide)
{
    // The rebuild's two stores succeed; only the one that clears the finished mark fails.
    original.aenUpgradeStat[7] = UPGRADE_E_FINISH;
    fake_upgrade::reset(original);
    state().set_sequence = {0, 0, -1};
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "[bspGuideCfgPartition 271]: bspCheckCfgUpgradeStat error\nbspGuideCfgPartition error\n");
    EXPECT_EQ(state().stores.size(), 3u);
}

TEST_F(CfgwardTest, FailedReadIsReportedAndTheGuideGoesOn)
{
    state().get_status = -1;
    GuideRun r = run_cfgward();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BSP_GetBootMode error\n");
    EXPECT_EQ(state().commands, attempts(7, 1) + attempts(8, 1));
}

// The service's cause of a failed read or store goes to standard error, the guide's own lines stay as they are.
TEST_F(CfgwardTest, FailuresOfTheServiceAreSaidWithTheirCause)
{
    const std::string cause = "no valid copy of the record in storage";
    state().get_status = -1;
    state().cause = cause;
    testing::internal::CaptureStderr();
    GuideRun r = run_cfgward();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cfgward: cannot read the boot-information record: " + cause + "\n");
    EXPECT_EQ(r.out, "BSP_GetBootMode error\n");

    // A one-side rebuild stores twice: the mark before the format, the good side after the copy.
    fake_upgrade::reset(original);
    fail_mount(8);
    state().set_status = -1;
    state().cause = "record store busy";
    testing::internal::CaptureStderr();
    r = run_cfgward();
    const std::string store_failed = "cfgward: storing the boot-information record failed: record store busy\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), store_failed + store_failed);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "[bspGuideCfgPartition 301]: bspResOneCfgPart error\nbspGuideCfgPartition error\n");

    // Stores that succeed say nothing.
    fake_upgrade::reset(original);
    fail_mount(8);
    testing::internal::CaptureStderr();
    r = run_cfgward();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(CfgwardTest, HelpRunsNothing)
{
    char name[] = "cfgward";
    char help[] = "--help";
    char *argv[] = {name, help, nullptr};
    CaptureStdout capture;
    EXPECT_EQ(cfgward_main(2, argv), 0);
    EXPECT_NE(capture.finish().find("Usage: cfgward"), std::string::npos);
    EXPECT_TRUE(state().commands.empty());
}
