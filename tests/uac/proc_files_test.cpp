// The table the library's /proc reads go through: the real one by default,
// which opens with std::fopen; the paths and modes the library asks for; and
// the fake /proc the other tests run on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "bsp_uac.h"
#include "fake_proc_files.h"
#include "uac_test_support.h"
#include "xu_uac.h"

namespace {

std::string read_whole(std::FILE *file)
{
    std::string text;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), file)) > 0) {
        text.append(buf, n);
    }
    return text;
}

std::string opens_text(const FakeProcFiles &proc)
{
    std::string text;
    for (const FakeProcFiles::Open &open : proc.opens()) {
        text += open.path + " " + open.mode + (open.found ? "" : " missing") + "; ";
    }
    return text;
}

} // namespace

TEST(ProcFilesTest, TheSystemTableIsInUseUnlessAnotherIsInstalled)
{
    EXPECT_EQ(&uacProcFiles(), &kUacSystemProcFiles);
    FakeProcFiles proc;
    {
        ScopedProcFiles use(proc.table());
        EXPECT_EQ(&uacProcFiles(), &proc.table());
        FakeProcFiles inner;
        {
            ScopedProcFiles use_inner(inner.table());
            EXPECT_EQ(&uacProcFiles(), &inner.table());
        }
        EXPECT_EQ(&uacProcFiles(), &proc.table());
    }
    EXPECT_EQ(&uacProcFiles(), &kUacSystemProcFiles);
    EXPECT_EQ(uacInstallProcFiles(&proc.table()), &kUacSystemProcFiles);
    EXPECT_EQ(uacInstallProcFiles(nullptr), &proc.table());
    EXPECT_EQ(&uacProcFiles(), &kUacSystemProcFiles);
}

TEST(ProcFilesTest, TheSystemTableOpensWithFopen)
{
    char path[] = "/tmp/uac-proc-files-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string content("Playback:\n Rate\0 8000\n", 22);
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);

    std::FILE *file = kUacSystemProcFiles.open(kUacSystemProcFiles.ctx, path, "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_whole(file), content);
    std::fclose(file);
    file = uacOpenProcFile(path, "r");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    unlink(path);

    errno = 0;
    EXPECT_EQ(uacOpenProcFile(path, "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(ProcFilesTest, TheLibraryReadsTheCardListAndTheStatusFilesAtTheirFixedPaths)
{
    FakeProcFiles proc;
    proc.set("/proc/asound/cards", " 3 [UAC1Gadget     ]: UAC1_Gadget\n");
    proc.set("/proc/asound/card3/stream0", "Playback:\n Channels: 2\n Rates: 48000\n");
    ScopedProcFiles use(proc.table());
    UAC_CONFIG_S record{};
    UAC_STREAM_STAT_S stat{};
    CaptureFd out(1);
    XU_UAC_Config(&record, PCM_OUT, 2, 48000, 1024, 4, 0);
    XU_UAC_Config_m(&record, PCM_OUT, 2, 48000, 1024, 4, 0); // reads nothing
    EXPECT_EQ(_BSP_UacGetCardStatus(1, record.card, &stat), 0);
    EXPECT_EQ(_BSP_UacGetCardStatus(0, 4, &stat), -1);
    EXPECT_EQ(out.finish(), "uac_config->card=3\nfile /proc/asound/card4/stream0 not exist!\n");
    EXPECT_EQ(opens_text(proc), "/proc/asound/cards r; /proc/asound/card3/stream0 rb; "
                                "/proc/asound/card4/stream0 rb missing; ");
    EXPECT_EQ(stat.u32PlaybackChannels, 2u);
    EXPECT_EQ(stat.u32PlaybackRate, 48000u);
}

TEST(ProcFilesTest, TheFakeServesItsFilesAsTheyAreNow)
{
    FakeProcFiles proc;
    const std::string with_nul("a\0b\n", 4);
    proc.set("/proc/asound/cards", with_nul);
    std::FILE *file = proc.table().open(proc.table().ctx, "/proc/asound/cards", "r");
    ASSERT_NE(file, nullptr);
    proc.set("/proc/asound/cards", "changed\n"); // an open stream keeps what it had
    EXPECT_EQ(read_whole(file), with_nul);
    std::fclose(file);
    file = proc.table().open(proc.table().ctx, "/proc/asound/cards", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_whole(file), "changed\n");
    std::fclose(file);

    proc.set("/proc/asound/card0/stream0", "");
    file = proc.table().open(proc.table().ctx, "/proc/asound/card0/stream0", "r");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(read_whole(file), "");
    std::fclose(file);

    proc.remove("/proc/asound/cards");
    errno = 0;
    EXPECT_EQ(proc.table().open(proc.table().ctx, "/proc/asound/cards", "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(proc.table().open(proc.table().ctx, "/proc/asound/card0/stream0", "r+"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(opens_text(proc), "/proc/asound/cards r; /proc/asound/cards rb; /proc/asound/card0/stream0 r; "
                                "/proc/asound/cards r missing; /proc/asound/card0/stream0 r+; ");
}

TEST(ProcFilesTest, TheTestRunnerGivesEachBodyItsOwnFakeProc)
{
    const ProcRun run = run_with_proc({{"asound/cards", " 2 [UAC1Gadget]\n"}}, [](FakeProcFiles &proc) {
        UAC_CONFIG_S record{};
        CaptureFd out(1);
        XU_UAC_Config(&record, PCM_IN, 2, 48000, 1024, 4, 0);
        proc.set("/proc/asound/cards", " 5 [UAC1Gadget]\n");
        XU_UAC_Config(&record, PCM_IN, 2, 48000, 1024, 4, 0);
        return out.finish() + opens_text(proc) + (&uacProcFiles() == &proc.table() ? "fake" : "not the fake");
    });
    ASSERT_TRUE(run.ok) << run.output;
    EXPECT_EQ(run.output, "uac_config->card=2\nuac_config->card=5\n/proc/asound/cards r; /proc/asound/cards r; fake");
    EXPECT_EQ(&uacProcFiles(), &kUacSystemProcFiles); // the parent's table is untouched
}
