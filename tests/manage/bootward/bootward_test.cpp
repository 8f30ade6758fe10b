#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "bootward.h"
#include "capture_output.h"
#include "fake_upgrade.h"
#include "guide_commands.h"

using fake_upgrade::state;
using Copies = std::vector<std::pair<int, int>>;

namespace {

const Lines kMkdirs = {"mkdir -p /app", "mkdir -p /parameter0", "mkdir -p /parameter1", "mkdir -p /log"};

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
    return format_from(part, "/backup/app.ubifs");
}

// The first attempt, then `retries` times take-down and bring-up again.
Lines mount_app(int part, int retries)
{
    Lines out = kMkdirs + up(part, "/app");
    for (int i = 0; i < retries; i++) {
        out = out + down(part, "/app") + up(part, "/app");
    }
    return out;
}

// The rebuild of application partition `dest` from the files under /app, up to the format.
Lines rebuild_until_format(int dest)
{
    return Lines{"mkdir -p /reserve"} + down(dest, "/reserve/") + Lines{format(dest)};
}

Lines rebuild_app(int dest)
{
    return rebuild_until_format(dest) + up(dest, "/reserve") +
           Lines{"rm -rf /reserve/*", "sync ", "cp -rf /app/* /reserve/", "sync"} + down(dest, "/reserve/") +
           Lines{"rm -rf /reserve"};
}

const char *name_of(int part)
{
    return bspPartNumToStr(static_cast<PARTITION_TYPE_E>(part));
}

std::string copied(int src, int dest, const char *result, int line)
{
    return "[bspUpdatePart:" + std::to_string(line) + "]: copy " + name_of(src) + " to " + name_of(dest) + " " +
           result + "\n";
}

// What a successful copy of `src` onto `dest` makes of the record.
BOOT_INFO_S repaired(BOOT_INFO_S r, int src, int dest)
{
    for (int part : {src, dest}) {
        r.aenUpgradeStat[part] = UPGRADE_E_NONE;
        r.aenPartStat[part] = PARTITION_STAT_E_OK_DATA;
    }
    r.astPartInfo[dest] = r.astPartInfo[src];
    const char *name = name_of(dest);
    memcpy(r.astPartInfo[dest].as8PartName, name, strlen(name) + 1);
    r.astPartInfo[dest].enPartType = static_cast<PARTITION_TYPE_E>(dest);
    return r;
}

// Every name field carries bytes after its NUL, so a copy that rewrites more than the name shows.
BOOT_INFO_S record_with_name_tails(int boot_type)
{
    BOOT_INFO_S r = fake_upgrade::sample_record(boot_type);
    for (int i = 0; i < PARTITION_E_BUTT; i++) {
        char *field = r.astPartInfo[i].as8PartName;
        const size_t len = strlen(field);
        for (size_t k = len + 1; k < sizeof(r.astPartInfo[i].as8PartName); k++) {
            field[k] = static_cast<char>('A' + i);
        }
    }
    return r;
}

struct GuideRun {
    int status;
    std::string out;
};

GuideRun run_bootward()
{
    char name[] = "bootward";
    char *argv[] = {name, nullptr};
    CaptureStdout capture;
    int status = bootward_main(1, argv);
    return GuideRun{status, capture.finish()};
}

void expect_record(const BOOT_INFO_S &actual, const BOOT_INFO_S &expected, const std::string &what)
{
    EXPECT_EQ(memcmp(&actual, &expected, sizeof(expected)), 0) << what;
}

} // namespace

class BootwardTest : public ::testing::Test {
protected:
    void SetUp() override { use(fake_upgrade::sample_record(BOOT_E_SYSTEM_A)); }
    void use(const BOOT_INFO_S &record)
    {
        original = record;
        fake_upgrade::reset(original);
    }
    BOOT_INFO_S original;
};

TEST_F(BootwardTest, MountsTheBootedSystemsPartitionAtTheFirstAttempt)
{
    struct Case {
        int boot_type;
        int app_part;
    };
    for (Case c : {Case{BOOT_E_SYSTEM_A, 11}, Case{BOOT_E_SYSTEM_B, 12}, Case{0, 11}, Case{0xBA, 11}}) {
        SCOPED_TRACE(c.boot_type);
        use(fake_upgrade::sample_record(c.boot_type));
        GuideRun run = run_bootward();
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(state().commands, mount_app(c.app_part, 0));
        EXPECT_TRUE(state().stores.empty());
        EXPECT_TRUE(state().copies.empty());
    }
}

TEST_F(BootwardTest, MountsOnTheFourthAttemptAfterThreeTakeDowns)
{
    fake_upgrade::answer("mount -t ubifs ubi1_0 /app", 1, 3);
    GuideRun run = run_bootward();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(state().commands, mount_app(11, 3));
    EXPECT_TRUE(state().stores.empty());
}

TEST_F(BootwardTest, AllFourAttemptsFailMarksSwitchesAndReboots)
{
    struct Case {
        int boot_type;
        int app_part;
        int next_boot_type;
    };
    for (Case c : {Case{BOOT_E_SYSTEM_A, 11, BOOT_E_SYSTEM_B}, Case{BOOT_E_SYSTEM_B, 12, BOOT_E_SYSTEM_A},
                   Case{0x11, 11, BOOT_E_SYSTEM_A}}) {
        SCOPED_TRACE(c.boot_type);
        BOOT_INFO_S r = fake_upgrade::sample_record(c.boot_type);
        r.aenUpgradeStat[c.app_part] = UPGRADE_E_FINISH;
        use(r);
        fake_upgrade::answer(up(c.app_part, "/app")[0], 1);

        CaptureStdout capture;
        EXPECT_EQ(BSP_SystemGuide(), -1);
        capture.finish();
        EXPECT_EQ(state().commands, mount_app(c.app_part, 3) + Lines{"reboot"});
        ASSERT_EQ(state().stores.size(), 2u);
        BOOT_INFO_S marked = original;
        marked.aenPartStat[c.app_part] = PARTITION_STAT_E_WRONG_DATA;
        marked.aenUpgradeStat[c.app_part] = UPGRADE_E_NONE;
        expect_record(state().stores[0], marked, "marked");
        marked.enBootType = static_cast<BOOT_TYPE_E>(c.next_boot_type);
        expect_record(state().stores[1], marked, "switched");

        // The program's exit status stays 0.
        use(r);
        fake_upgrade::answer(up(c.app_part, "/app")[0], 1);
        GuideRun run = run_bootward();
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "bspGuideAppPart error\n");
    }
}

TEST_F(BootwardTest, FailedMountRepairsTheOtherKernelBeforeTheSwitch)
{
    struct Case {
        int boot_type;
        int app_part;
        int bad_kernel;
        bool finished; // marked FINISH instead of WRONG
        int good_kernel;
    };
    for (Case c : {Case{BOOT_E_SYSTEM_A, 11, 10, false, 9}, Case{BOOT_E_SYSTEM_B, 12, 9, true, 10}}) {
        SCOPED_TRACE(c.boot_type);
        BOOT_INFO_S r = record_with_name_tails(c.boot_type);
        if (c.finished) {
            r.aenUpgradeStat[c.bad_kernel] = UPGRADE_E_FINISH;
        } else {
            r.aenPartStat[c.bad_kernel] = PARTITION_STAT_E_WRONG_DATA;
        }
        use(r);
        fake_upgrade::answer(up(c.app_part, "/app")[1], 1);

        GuideRun run = run_bootward();
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "bspGuideAppPart error\nfind error part " + std::string(name_of(c.bad_kernel)) + "\n" +
                               copied(c.good_kernel, c.bad_kernel, "success", 203));
        EXPECT_EQ(state().commands, mount_app(c.app_part, 3) + Lines{"reboot"});
        EXPECT_EQ(state().copies, (Copies{{c.good_kernel, c.bad_kernel}}));
        ASSERT_EQ(state().stores.size(), 3u);
        BOOT_INFO_S expected = original;
        expected.aenPartStat[c.app_part] = PARTITION_STAT_E_WRONG_DATA;
        expected.aenUpgradeStat[c.app_part] = UPGRADE_E_NONE;
        expected = repaired(expected, c.good_kernel, c.bad_kernel);
        expect_record(state().stores[1], expected, "kernel repaired");
        expected.enBootType = c.boot_type == BOOT_E_SYSTEM_A ? BOOT_E_SYSTEM_B : BOOT_E_SYSTEM_A;
        expect_record(state().stores[2], expected, "switched");
    }
}

// Each row of the twin-check decision table, with the copy succeeding and failing.
TEST_F(BootwardTest, DecisionTableRows)
{
    struct Case {
        const char *name;
        int boot_type;
        int slot;
        bool finished; // the slot is marked FINISH, else WRONG
        const char *first;
        int src;
        int dest;
        int line;
    };
    const Case cases[] = {
        {"A, repair, B finished", BOOT_E_SYSTEM_A, 10, true, "find error part kernel_b\n", 9, 10, 230},
        {"A, repair, B wrong", BOOT_E_SYSTEM_A, 4, false, "find error part uboot_b\n", 3, 4, 230},
        {"A, propagate, A finished", BOOT_E_SYSTEM_A, 1, true, "find upgrade success part ipl_cust_a\n", 1, 2, 241},
        {"B, repair, A finished", BOOT_E_SYSTEM_B, 9, true, "find error part kernel_a\n", 10, 9, 256},
        {"B, repair, A wrong", BOOT_E_SYSTEM_B, 3, false, "find error part uboot_a\n", 4, 3, 256},
        {"B, propagate, B finished", BOOT_E_SYSTEM_B, 2, true, "find upgrade success part ipl_cust_b\n", 2, 1, 267},
    };
    for (const Case &c : cases) {
        for (int copy_status : {0, -1}) {
            SCOPED_TRACE(std::string(c.name) + (copy_status == 0 ? ", copy ok" : ", copy fails"));
            BOOT_INFO_S r = record_with_name_tails(c.boot_type);
            if (c.finished) {
                r.aenUpgradeStat[c.slot] = UPGRADE_E_FINISH;
            } else {
                r.aenPartStat[c.slot] = PARTITION_STAT_E_WRONG_DATA;
            }
            use(r);
            state().copy_status = copy_status;

            GuideRun run = run_bootward();
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(state().commands, mount_app(c.boot_type == BOOT_E_SYSTEM_A ? 11 : 12, 0));
            EXPECT_EQ(state().copies, (Copies{{c.src, c.dest}}));
            if (copy_status == 0) {
                EXPECT_EQ(run.out, c.first + copied(c.src, c.dest, "success", 203));
                ASSERT_EQ(state().stores.size(), 1u);
                expect_record(state().stores[0], repaired(original, c.src, c.dest), "repaired");
            } else {
                EXPECT_EQ(run.out, c.first + copied(c.src, c.dest, "error", 195) +
                                       "[bspCheckPartState:" + std::to_string(c.line) + "]: bspUpdatePart error\n");
                EXPECT_TRUE(state().stores.empty());
            }
        }
    }
}

TEST_F(BootwardTest, MarksNoRowAppliesToDoNothing)
{
    struct Case {
        const char *name;
        int boot_type;
        std::vector<int> wrong;
        std::vector<int> finished;
    };
    const Case cases[] = {
        {"running twins marked wrong under A", BOOT_E_SYSTEM_A, {1, 3, 9}, {}},
        {"running twins marked wrong under B", BOOT_E_SYSTEM_B, {2, 4, 10}, {}},
        {"boot type neither A nor B", 0, {2, 4, 10, 12}, {1, 3, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BOOT_INFO_S r = fake_upgrade::sample_record(c.boot_type);
        for (int slot : c.wrong) {
            r.aenPartStat[slot] = PARTITION_STAT_E_WRONG_DATA;
        }
        for (int slot : c.finished) {
            r.aenUpgradeStat[slot] = UPGRADE_E_FINISH;
        }
        use(r);
        GuideRun run = run_bootward();
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(state().commands, mount_app(c.boot_type == BOOT_E_SYSTEM_B ? 12 : 11, 0));
        EXPECT_TRUE(state().copies.empty());
        EXPECT_TRUE(state().stores.empty());
    }
}

TEST_F(BootwardTest, ApplicationPartitionIsRebuiltFromTheFilesUnderApp)
{
    struct Case {
        const char *name;
        int boot_type;
        int slot;
        bool finished;
        const char *first;
        int src;
        int dest;
    };
    const Case cases[] = {
        {"A repairs B", BOOT_E_SYSTEM_A, 12, false, "find error part app_b\n", 11, 12},
        {"A propagates to B", BOOT_E_SYSTEM_A, 11, true, "find upgrade success part app_a\n", 11, 12},
        {"B repairs A", BOOT_E_SYSTEM_B, 11, true, "find error part app_a\n", 12, 11},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BOOT_INFO_S r = record_with_name_tails(c.boot_type);
        if (c.finished) {
            r.aenUpgradeStat[c.slot] = UPGRADE_E_FINISH;
        } else {
            r.aenPartStat[c.slot] = PARTITION_STAT_E_WRONG_DATA;
        }
        use(r);
        GuideRun run = run_bootward();
        EXPECT_EQ(run.out, c.first + copied(c.src, c.dest, "success", 203));
        EXPECT_EQ(state().commands, mount_app(c.src, 0) + rebuild_app(c.dest));
        EXPECT_TRUE(state().copies.empty()); // never the raw copy
        ASSERT_EQ(state().stores.size(), 1u);
        expect_record(state().stores[0], repaired(original, c.src, c.dest), "rebuilt");
    }
}

TEST_F(BootwardTest, RepairedHeaderIsTheSourcesWithTheDestinationsNameAndIndex)
{
    BOOT_INFO_S r = record_with_name_tails(BOOT_E_SYSTEM_B);
    r.aenPartStat[9] = PARTITION_STAT_E_WRONG_DATA;
    use(r);
    run_bootward();
    ASSERT_EQ(state().stores.size(), 1u);
    const BOOT_INFO_S &stored = state().stores[0];
    const PART_INFO_HEAD_S &dest = stored.astPartInfo[9];
    const PART_INFO_HEAD_S &src = original.astPartInfo[10];

    // Name "kernel_a" and its NUL, then the source's bytes after its own name.
    EXPECT_EQ(memcmp(dest.as8PartName, "kernel_a", 9), 0);
    EXPECT_EQ(memcmp(dest.as8PartName + 9, src.as8PartName + 9, sizeof(dest.as8PartName) - 9), 0);
    EXPECT_EQ(dest.enPartType, PARTITION_E_KERNEL_A);
    EXPECT_EQ(memcmp(&dest, &src, offsetof(PART_INFO_HEAD_S, as8PartName)), 0);
    const size_t tail = offsetof(PART_INFO_HEAD_S, u32ImgLen);
    EXPECT_EQ(memcmp(reinterpret_cast<const char *>(&dest) + tail, reinterpret_cast<const char *>(&src) + tail,
                     sizeof(dest) - tail),
              0);

    for (int slot : {0, 5, 6, 13}) {
        EXPECT_EQ(memcmp(&stored.astPartInfo[slot], &original.astPartInfo[slot], sizeof(PART_INFO_HEAD_S)), 0) << slot;
    }
    EXPECT_EQ(memcmp(stored.au32SysVersion, original.au32SysVersion, sizeof(original.au32SysVersion)), 0);
    EXPECT_EQ(memcmp(stored.s8Reserve, original.s8Reserve, sizeof(original.s8Reserve)), 0);
    EXPECT_EQ(memcmp(dest.s8Reserve, src.s8Reserve, sizeof(src.s8Reserve)), 0);
    EXPECT_EQ(stored.aenUpgradeStat[10], UPGRADE_E_NONE);
    EXPECT_EQ(stored.aenPartStat[9], PARTITION_STAT_E_OK_DATA);
}

TEST_F(BootwardTest, PairRepairedByTheFirstFourChecksIsNotCopiedAgain)
{
    BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
    r.aenUpgradeStat[9] = UPGRADE_E_FINISH; // would propagate in check 7
    r.aenPartStat[10] = PARTITION_STAT_E_WRONG_DATA;
    r.aenUpgradeStat[11] = UPGRADE_E_FINISH; // would propagate in check 8
    r.aenUpgradeStat[12] = UPGRADE_E_FINISH;
    use(r);
    GuideRun run = run_bootward();
    EXPECT_EQ(run.out, "find error part kernel_b\n" + copied(9, 10, "success", 203) + "find error part app_b\n" +
                           copied(11, 12, "success", 203));
    EXPECT_EQ(state().copies, (Copies{{9, 10}}));
    EXPECT_EQ(state().commands, mount_app(11, 0) + rebuild_app(12));
    ASSERT_EQ(state().stores.size(), 2u);
    expect_record(state().stores[1], repaired(repaired(original, 9, 10), 11, 12), "both pairs");
}

TEST_F(BootwardTest, EveryCheckRunsWhateverTheOthersDid)
{
    BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
    for (int slot : {2, 4, 10}) {
        r.aenPartStat[slot] = PARTITION_STAT_E_WRONG_DATA;
    }
    use(r);
    state().copy_status = -1;
    GuideRun run = run_bootward();
    EXPECT_EQ(state().copies, (Copies{{1, 2}, {3, 4}, {9, 10}}));
    EXPECT_EQ(run.out, "find error part ipl_cust_b\n" + copied(1, 2, "error", 195) +
                           "[bspCheckPartState:230]: bspUpdatePart error\n"
                           "find error part uboot_b\n" +
                           copied(3, 4, "error", 195) +
                           "[bspCheckPartState:230]: bspUpdatePart error\n"
                           "find error part kernel_b\n" +
                           copied(9, 10, "error", 195) + "[bspCheckPartState:230]: bspUpdatePart error\n");
    EXPECT_TRUE(state().stores.empty());
}

TEST_F(BootwardTest, FailedRebuildStepsLeaveTheRecordAlone)
{
    struct Case {
        const char *name;
        std::string failing;
        Lines commands;
        std::string messages;
    };
    const Case cases[] = {
        {"ubiformat", format(12), rebuild_until_format(12),
         "[bspCopySrcAppPartToDest: 150] ubiformat /dev/mtd12 -f /backup/app.ubifs -y error\n"},
        {"mount on /reserve", "mount -t ubifs ubi2_0 /reserve", rebuild_until_format(12) + up(12, "/reserve"),
         "[bspCopySrcAppPartToDest: 156] bspAttachMountUbifs error\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
        r.aenPartStat[12] = PARTITION_STAT_E_WRONG_DATA;
        use(r);
        fake_upgrade::answer(c.failing, 1);
        GuideRun run = run_bootward();
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(state().commands, mount_app(11, 0) + c.commands);
        EXPECT_EQ(run.out, "find error part app_b\n" + c.messages + copied(11, 12, "error", 195) +
                               "[bspCheckPartState:230]: bspUpdatePart error\n");
        EXPECT_TRUE(state().stores.empty());
    }
}

TEST_F(BootwardTest, FailedFinalTakeDownKeepsReserveAndStillCounts)
{
    BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_B);
    r.aenUpgradeStat[12] = UPGRADE_E_FINISH;
    use(r);
    fake_upgrade::answer("umount /reserve/", 1); // the take-down before the format fails too, unheeded
    GuideRun run = run_bootward();
    Lines expected = rebuild_app(11);
    expected.pop_back(); // no "rm -rf /reserve"
    EXPECT_EQ(state().commands, mount_app(12, 0) + expected);
    EXPECT_EQ(run.out, "find upgrade success part app_b\n" + copied(12, 11, "success", 203));
    ASSERT_EQ(state().stores.size(), 1u);
    expect_record(state().stores[0], repaired(original, 12, 11), "rebuilt");
}

TEST_F(BootwardTest, FailedStoreAfterACopyStillCountsAsDone)
{
    BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
    r.aenPartStat[10] = PARTITION_STAT_E_WRONG_DATA;
    r.aenUpgradeStat[9] = UPGRADE_E_FINISH;
    use(r);
    state().set_status = -1;
    GuideRun run = run_bootward();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "find error part kernel_b\nBSP_SetBootMode error\n" + copied(9, 10, "success", 203));
    // The record in memory was updated, so the propagation check does not copy again.
    EXPECT_EQ(state().copies, (Copies{{9, 10}}));
    EXPECT_EQ(state().stores.size(), 1u);
}

TEST_F(BootwardTest, FailedReadIsReportedAndTheGuideGoesOnWithACleanRecord)
{
    state().get_status = -1;
    GuideRun run = run_bootward();
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "BSP_GetBootMode error\n");
    EXPECT_EQ(state().commands, mount_app(11, 0));
    EXPECT_TRUE(state().stores.empty());
}

// The service's cause of each failure it reports goes to standard error, the guide's own lines stay as they are.
TEST_F(BootwardTest, FailuresOfTheServiceAreSaidWithTheirCause)
{
    const std::string cause = "erase of block 3 (MEMERASE64): Input/output error";
    struct Case {
        const char *what;
        std::function<void()> arrange;
        std::string out;
        std::string err;
    };
    const auto kernel_b_wrong = [this] {
        BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
        r.aenPartStat[10] = PARTITION_STAT_E_WRONG_DATA;
        use(r);
    };
    const Case cases[] = {
        {"read", [] { state().get_status = -1; }, "BSP_GetBootMode error\n",
         "bootward: cannot read the boot-information record: " + cause + "\n"},
        {"store after a copy",
         [&] {
             kernel_b_wrong();
             state().set_status = -1;
         },
         "find error part kernel_b\nBSP_SetBootMode error\n" + copied(9, 10, "success", 203),
         "bootward: storing the boot-information record failed: " + cause + "\n"},
        {"raw copy",
         [&] {
             kernel_b_wrong();
             state().copy_status = -1;
         },
         "find error part kernel_b\n" + copied(9, 10, "error", 195) + "[bspCheckPartState:230]: bspUpdatePart error\n",
         "bootward: copy of kernel_a onto kernel_b failed: " + cause + "\n"},
        {"mark and switch",
         [] {
             fake_upgrade::answer(up(11, "/app")[0], 1);
             state().set_status = -1;
         },
         "bspGuideAppPart error\n",
         "bootward: storing the boot-information record failed: " + cause + "\n" +
             "bootward: storing the boot-information record failed: " + cause + "\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        use(fake_upgrade::sample_record(BOOT_E_SYSTEM_A));
        c.arrange();
        state().cause = cause;
        testing::internal::CaptureStderr();
        GuideRun run = run_bootward();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.out);
    }
}

TEST_F(BootwardTest, AFailedRebuildSaysNoCauseOfTheService)
{
    BOOT_INFO_S r = fake_upgrade::sample_record(BOOT_E_SYSTEM_A);
    r.aenPartStat[12] = PARTITION_STAT_E_WRONG_DATA;
    use(r);
    fake_upgrade::answer(format(12), 1);
    testing::internal::CaptureStderr();
    GuideRun run = run_bootward();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(run.out.find(copied(11, 12, "error", 195)), std::string::npos) << run.out;
}

TEST_F(BootwardTest, HelpTouchesNothing)
{
    for (const char *option : {"--help", "-h"}) {
        fake_upgrade::reset(original);
        char name[] = "bootward";
        std::string arg = option;
        char *argv[] = {name, arg.data(), nullptr};
        CaptureStdout capture;
        EXPECT_EQ(bootward_main(2, argv), 0);
        EXPECT_NE(capture.finish().find("Usage: bootward"), std::string::npos);
        EXPECT_TRUE(state().commands.empty());
        EXPECT_TRUE(state().stores.empty());
    }
}

TEST_F(BootwardTest, OtherArgumentsAreIgnored)
{
    char name[] = "bootward";
    char arg[] = "--frobnicate";
    char *argv[] = {name, arg, nullptr};
    CaptureStdout capture;
    EXPECT_EQ(bootward_main(2, argv), 0);
    capture.finish();
    EXPECT_EQ(state().commands, mount_app(11, 0));
}
