#include <gtest/gtest.h>

#include "capture_output.h"
#include "fake_upgrade.h"
#include "ubi_mount.h"

using fake_upgrade::state;
using Lines = std::vector<std::string>;

class UbiMountTest : public ::testing::Test {
protected:
    void SetUp() override { fake_upgrade::reset(fake_upgrade::sample_record(BOOT_E_SYSTEM_A)); }
};

TEST_F(UbiMountTest, BringsUpAndTakesDownWithTheFixedUbiDevice)
{
    struct Case {
        PARTITION_TYPE_E part;
        const char *path;
        int flag;
        Lines commands;
    };
    const Case cases[] = {
        {PARTITION_E_APP_B, "/app", 1, {"ubiattach /dev/ubi_ctrl -m 12 -d 2", "mount -t ubifs ubi2_0 /app"}},
        {PARTITION_E_APP_A, "/reserve", 1, {"ubiattach /dev/ubi_ctrl -m 11 -d 1", "mount -t ubifs ubi1_0 /reserve"}},
        {PARTITION_E_PARAMETER_A, "/parameter0", 0, {"umount /parameter0", "ubidetach -d 3 /dev/ubi_ctrl"}},
        {PARTITION_E_PARAMETER_B, "/reserve/", 0, {"umount /reserve/", "ubidetach -d 4 /dev/ubi_ctrl"}},
        {PARTITION_E_LOG, "/log", 1, {"ubiattach /dev/ubi_ctrl -m 13 -d 0", "mount -t ubifs ubi0_0 /log"}},
    };
    for (const Case &c : cases) {
        fake_upgrade::reset(fake_upgrade::sample_record(BOOT_E_SYSTEM_A));
        CaptureStdout out;
        EXPECT_EQ(bspAttachMountUbifs(c.part, c.path, c.flag), 0);
        EXPECT_EQ(out.finish(), "");
        EXPECT_EQ(state().commands, c.commands) << "partition " << c.part;
    }
}

TEST_F(UbiMountTest, UnsupportedPartitionRunsNothing)
{
    for (int flag : {0, 1, 2}) {
        fake_upgrade::reset(fake_upgrade::sample_record(BOOT_E_SYSTEM_A));
        CaptureStdout out;
        EXPECT_EQ(bspAttachMountUbifs(PARTITION_E_KERNEL_A, "/app", flag), -1);
        EXPECT_EQ(out.finish(), "don't support part 9");
        EXPECT_TRUE(state().commands.empty());
    }
    CaptureStdout out;
    EXPECT_EQ(bspAttachMountUbifs(PARTITION_E_XML, "/app", 1), -1);
    EXPECT_EQ(out.finish(), "don't support part 15");
}

TEST_F(UbiMountTest, OtherFlagDoesNothing)
{
    EXPECT_EQ(bspAttachMountUbifs(PARTITION_E_APP_A, "/app", 2), 0);
    EXPECT_EQ(bspAttachMountUbifs(PARTITION_E_APP_A, "/app", -1), 0);
    EXPECT_TRUE(state().commands.empty());
}

TEST_F(UbiMountTest, BothCommandsRunAndStatusesCombine)
{
    // The attach fails (already attached), the mount still runs and succeeds.
    fake_upgrade::answer("ubiattach /dev/ubi_ctrl -m 11 -d 1", 1);
    EXPECT_NE(bspAttachMountUbifs(PARTITION_E_APP_A, "/app", 1), 0);
    EXPECT_EQ(state().commands.size(), 2u);

    fake_upgrade::reset(fake_upgrade::sample_record(BOOT_E_SYSTEM_A));
    fake_upgrade::answer("umount /app", 1);
    EXPECT_NE(bspAttachMountUbifs(PARTITION_E_APP_A, "/app", 0), 0);
    EXPECT_EQ(state().commands.back(), "ubidetach -d 1 /dev/ubi_ctrl");

    fake_upgrade::reset(fake_upgrade::sample_record(BOOT_E_SYSTEM_A));
    fake_upgrade::answer("ubidetach -d 1 /dev/ubi_ctrl", 4);
    fake_upgrade::answer("umount /app", 2);
    EXPECT_EQ(bspAttachMountUbifs(PARTITION_E_APP_A, "/app", 0), 6);
}
