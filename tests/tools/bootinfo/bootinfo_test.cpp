// bootinfo's commands run against the real upgrade service, which keeps its record in a file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bootinfo.h"
#include "bsp_upgrade_inner.h"
#include "capture_output.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome bootinfo(std::initializer_list<const char *> args)
{
    std::vector<std::string> words = {"bootinfo"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    OutputFile out;
    OutputFile err;
    const int status = bootinfo_run(static_cast<int>(words.size()), argv.data(), out.stream(), err.stream());
    return Outcome{status, out.finish(), err.finish()};
}

std::string store_bytes()
{
    std::ifstream f(STORE_PATH, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Every byte differs from its neighbours, so a change to any other field shows.
BOOT_INFO_S patterned_record()
{
    BOOT_INFO_S r;
    auto *bytes = reinterpret_cast<uint8_t *>(&r);
    for (size_t i = 0; i < sizeof(r); i++) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    r.enBootType = BOOT_E_SYSTEM_A;
    for (int i = 0; i < PARTITION_E_BUTT; i++) {
        r.aenUpgradeStat[i] = UPGRADE_E_NONE;
        r.aenPartStat[i] = PARTITION_STAT_E_OK_DATA;
    }
    return r;
}

BOOT_INFO_S stored_record()
{
    BOOT_INFO_S r;
    memset(&r, 0, sizeof(r));
    EXPECT_EQ(BSP_GetBootMode(&r), 0);
    return r;
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> fields(const std::string &line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

} // namespace

class BootinfoTest : public ::testing::Test {
protected:
    void SetUp() override { unlink(STORE_PATH); }
    void TearDown() override { unlink(STORE_PATH); }
    void store(const BOOT_INFO_S &r)
    {
        BOOT_INFO_S copy = r;
        ASSERT_EQ(BSP_SetBootMode(&copy), 0);
    }
};

TEST_F(BootinfoTest, SetChangesOneFieldAndKeepsEveryOtherByte)
{
    struct Case {
        std::initializer_list<const char *> args;
        void (*change)(BOOT_INFO_S &);
    };
    const Case cases[] = {
        {{"set", "boot", "B"}, [](BOOT_INFO_S &r) { r.enBootType = BOOT_E_SYSTEM_B; }},
        {{"set", "boot", "a"}, [](BOOT_INFO_S &r) { r.enBootType = BOOT_E_SYSTEM_A; }},
        {{"set", "upgrade", "kernel_b", "finish"}, [](BOOT_INFO_S &r) { r.aenUpgradeStat[10] = UPGRADE_E_FINISH; }},
        {{"set", "upgrade", "3", "running"}, [](BOOT_INFO_S &r) { r.aenUpgradeStat[3] = UPGRADE_E_RUNNING; }},
        {{"set", "upgrade", "0", "failed"}, [](BOOT_INFO_S &r) { r.aenUpgradeStat[0] = UPGRADE_E_FAILED; }},
        {{"set", "upgrade", "log", "none"}, [](BOOT_INFO_S &r) { r.aenUpgradeStat[13] = UPGRADE_E_NONE; }},
        {{"set", "data", "APP_A", "wrong"}, [](BOOT_INFO_S &r) { r.aenPartStat[11] = PARTITION_STAT_E_WRONG_DATA; }},
        {{"set", "data", "13", "ok"}, [](BOOT_INFO_S &r) { r.aenPartStat[13] = PARTITION_STAT_E_OK_DATA; }},
    };
    BOOT_INFO_S expected = patterned_record();
    expected.aenUpgradeStat[13] = UPGRADE_E_FINISH;
    expected.aenPartStat[13] = PARTITION_STAT_E_WRONG_DATA;
    store(expected);
    for (const Case &c : cases) {
        SCOPED_TRACE(*(c.args.begin() + 1));
        Outcome run = bootinfo(c.args);
        EXPECT_EQ(run.status, BOOTINFO_OK) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        c.change(expected);
        BOOT_INFO_S got = stored_record();
        EXPECT_EQ(memcmp(&got, &expected, sizeof(expected)), 0);
    }
}

TEST_F(BootinfoTest, ShowPrintsAnAlignedTable)
{
    BOOT_INFO_S r = patterned_record();
    r.enBootType = BOOT_E_SYSTEM_B;
    r.aenUpgradeStat[10] = UPGRADE_E_FINISH;
    r.aenPartStat[12] = PARTITION_STAT_E_WRONG_DATA;
    r.aenUpgradeStat[6] = static_cast<UPGRADE_TYPE_E>(0x77);
    store(r);

    for (auto args : {std::initializer_list<const char *>{}, {"show"}}) {
        Outcome run = bootinfo(args);
        EXPECT_EQ(run.status, BOOTINFO_OK);
        EXPECT_EQ(run.err, "");
        std::vector<std::string> lines = split_lines(run.out);
        ASSERT_EQ(lines.size(), 3u + PARTITION_E_BUTT);
        EXPECT_EQ(lines[0], "boot system: B (187)");
        EXPECT_EQ(lines[1], "");
        EXPECT_EQ(fields(lines[2]), (std::vector<std::string>{"slot", "name", "upgrade", "data"}));
        for (int slot = 0; slot < PARTITION_E_BUTT; slot++) {
            const std::string &line = lines[3 + slot];
            std::vector<std::string> expected = {std::to_string(slot),
                                                 bspPartNumToStr(static_cast<PARTITION_TYPE_E>(slot)), "none", "ok"};
            if (slot == 10) {
                expected[2] = "finish";
            } else if (slot == 12) {
                expected[3] = "wrong";
            } else if (slot == 6) {
                expected = {"6", "reserve", "unknown", "(119)", "ok"};
            }
            EXPECT_EQ(fields(line), expected) << line;
            // Every column starts where its heading does.
            for (const char *heading : {"name", "upgrade", "data"}) {
                const size_t col = lines[2].find(heading);
                EXPECT_NE(line[col], ' ') << line;
                EXPECT_EQ(line[col - 1], ' ') << line;
            }
        }
    }
}

TEST_F(BootinfoTest, JsonOutputParsesBackToTheRecord)
{
    BOOT_INFO_S r = patterned_record();
    store(r);
    ASSERT_EQ(bootinfo({"set", "upgrade", "uboot_a", "finish"}).status, BOOTINFO_OK);
    ASSERT_EQ(bootinfo({"set", "data", "9", "wrong"}).status, BOOTINFO_OK);
    ASSERT_EQ(bootinfo({"set", "boot", "B"}).status, BOOTINFO_OK);

    Outcome run = bootinfo({"--json"});
    ASSERT_EQ(run.status, BOOTINFO_OK) << run.err;
    EXPECT_EQ(bootinfo({"show", "--json"}).out, run.out);
    nlohmann::json doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["boot"], "B");
    EXPECT_EQ(doc["boot_type"], 187);
    ASSERT_EQ(doc["slots"].size(), static_cast<size_t>(PARTITION_E_BUTT));
    for (int slot = 0; slot < PARTITION_E_BUTT; slot++) {
        const nlohmann::json &s = doc["slots"][slot];
        EXPECT_EQ(s["slot"], slot);
        EXPECT_EQ(s["name"], bspPartNumToStr(static_cast<PARTITION_TYPE_E>(slot)));
        EXPECT_EQ(s["upgrade"], slot == 3 ? "finish" : "none");
        EXPECT_EQ(s["upgrade_value"], slot == 3 ? 13 : 10);
        EXPECT_EQ(s["data"], slot == 9 ? "wrong" : "ok");
        EXPECT_EQ(s["data_value"], slot == 9 ? 10 : 11);
    }
}

TEST_F(BootinfoTest, JsonNamesWordsThatMeanNothingUnknown)
{
    BOOT_INFO_S r = patterned_record();
    memset(&r.enBootType, 0, sizeof(r.enBootType));
    const BU_U32 odd = 0xFFFFFFF0u;
    memcpy(&r.aenUpgradeStat[4], &odd, sizeof(odd));
    memcpy(&r.aenPartStat[5], &odd, sizeof(odd));
    store(r);
    nlohmann::json doc = nlohmann::json::parse(bootinfo({"--json"}).out);
    EXPECT_EQ(doc["boot"], "unknown");
    EXPECT_EQ(doc["boot_type"], 0);
    EXPECT_EQ(doc["slots"][4]["upgrade"], "unknown");
    EXPECT_EQ(doc["slots"][4]["upgrade_value"], odd);
    EXPECT_EQ(doc["slots"][5]["data"], "unknown");
    EXPECT_EQ(doc["slots"][5]["data_value"], odd);
    EXPECT_EQ(split_lines(bootinfo({}).out)[0], "boot system: unknown (0)");
}

TEST_F(BootinfoTest, BadCommandLinesChangeNothing)
{
    struct Case {
        std::initializer_list<const char *> args;
        const char *message;
    };
    const Case cases[] = {
        {{"set", "upgrade", "14", "finish"}, "unknown slot '14'"},
        {{"set", "upgrade", "xml", "finish"}, "unknown slot 'xml'"},
        {{"set", "data", "-1", "ok"}, "unknown option '-1'"},
        {{"set", "data", "+1", "ok"}, "unknown slot '+1'"},
        {{"set", "data", "kernel", "ok"}, "unknown slot 'kernel'"},
        {{"set", "data", "", "ok"}, "unknown slot ''"},
        {{"set", "upgrade", "kernel_a", "done"}, "unknown upgrade status 'done'"},
        {{"set", "data", "app_b", "bad"}, "unknown data status 'bad'"},
        {{"set", "boot", "C"}, "unknown boot system 'C'"},
        {{"set", "boot", "170"}, "unknown boot system '170'"},
        {{"set", "boot"}, "usage: bootinfo set boot A|B"},
        {{"set", "upgrade", "kernel_a"}, "usage: bootinfo set upgrade SLOT"},
        {{"set", "data", "1", "ok", "more"}, "usage: bootinfo set data SLOT"},
        {{"set", "crc", "1", "2"}, "unknown field 'crc'"},
        {{"set"}, "set needs a field"},
        {{"get"}, "unknown command 'get'"},
        {{"show", "all"}, "show takes no arguments"},
        {{"--verbose"}, "unknown option '--verbose'"},
        {{"set", "boot", "B", "--json"}, "--json applies to show only"},
        {{"show", "--force"}, "--force applies to set only"},
    };
    store(patterned_record());
    const std::string before = store_bytes();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Outcome run = bootinfo(c.args);
        EXPECT_EQ(run.status, BOOTINFO_USAGE);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(store_bytes(), before);
    }
}

TEST_F(BootinfoTest, HelpTouchesNothing)
{
    Outcome run = bootinfo({"set", "boot", "B", "--help"});
    EXPECT_EQ(run.status, BOOTINFO_OK);
    EXPECT_NE(run.out.find("Usage: bootinfo"), std::string::npos);
    EXPECT_EQ(access(STORE_PATH, F_OK), -1);
}

TEST_F(BootinfoTest, FailedReadStoresNothingUnlessForced)
{
    // Something is there but no copy is valid: it must survive a plain set.
    {
        std::ofstream f(STORE_PATH, std::ios::binary);
        f << std::string(20000, 'x');
    }
    const std::string before = store_bytes();
    Outcome show = bootinfo({});
    EXPECT_EQ(show.status, BOOTINFO_FAILED);
    EXPECT_EQ(show.out, "");
    EXPECT_NE(show.err.find("cannot read the boot-information record"), std::string::npos);
    EXPECT_NE(show.err.find("no valid copy of the record in storage"), std::string::npos) << show.err;

    Outcome set = bootinfo({"set", "boot", "B"});
    EXPECT_EQ(set.status, BOOTINFO_FAILED);
    EXPECT_NE(set.err.find("nothing stored"), std::string::npos) << set.err;
    EXPECT_NE(set.err.find("--force"), std::string::npos);
    EXPECT_EQ(store_bytes(), before);

    Outcome forced = bootinfo({"set", "--force", "data", "kernel_b", "wrong"});
    EXPECT_EQ(forced.status, BOOTINFO_OK);
    EXPECT_NE(forced.err.find("--force"), std::string::npos);
    BOOT_INFO_S got = stored_record();
    EXPECT_EQ(got.enBootType, BOOT_E_SYSTEM_A);
    EXPECT_EQ(got.aenPartStat[10], PARTITION_STAT_E_WRONG_DATA);
    EXPECT_EQ(got.aenPartStat[9], PARTITION_STAT_E_OK_DATA);
}

TEST_F(BootinfoTest, FailedStoreIsReported)
{
    store(patterned_record()); // the only copy sits in the first slot; the next store goes past it
    const std::string before = store_bytes();
    ASSERT_LT(before.size(), 16384u);

    // The file may not grow into the second slot, so the store fails while the read still works.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 16384;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    Outcome run = bootinfo({"set", "boot", "B"});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);

    EXPECT_EQ(run.status, BOOTINFO_FAILED);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("storing the boot-information record failed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("clearing of copy 1 (pwrite): File too large"), std::string::npos) << run.err;
    EXPECT_EQ(stored_record().enBootType, BOOT_E_SYSTEM_A);
}
