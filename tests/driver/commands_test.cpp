// The five commands of /dev/pwm_ctrl against the fake PWM core: what each one
// applies, what it refuses, and that a refusal touches nothing.
#include "harness.h"

#include <cctype>
#include <optional>

namespace {

constexpr pwm_polarity normal = PWM_POLARITY_NORMAL;
constexpr pwm_polarity inversed = PWM_POLARITY_INVERSED;

const pwm_state stopped = make_state(1000000, 250000, normal, false);
const pwm_state running = make_state(1000000, 250000, normal, true);
const pwm_state stopped_inversed = make_state(1000000, 250000, inversed, false);

// A pointer the commands without argument must never read.
const void *const unreadable = reinterpret_cast<const void *>(std::uintptr_t{16});

struct CommandCase {
    const char *name;
    pwm_state before;
    unsigned int cmd;
    std::vector<std::int32_t> arg; // 32-bit words handed in; none: unreadable pointer
    int apply_result;
    long result;
    std::vector<pwm_state> applied;
};

const CommandCase command_cases[] = {
    {"config unchanged", stopped, PWM_IOCTL_SET_CONFIG, {250000, 1000000}, 0, 0, {}},
    {"config duty only",
     stopped,
     PWM_IOCTL_SET_CONFIG,
     {500000, 1000000},
     0,
     0,
     {make_state(1000000, 500000, normal, false)}},
    {"config period only",
     stopped,
     PWM_IOCTL_SET_CONFIG,
     {250000, 2000000},
     0,
     0,
     {make_state(2000000, 250000, normal, false)}},
    {"config keeps a running inversed output",
     make_state(1000000, 250000, inversed, true),
     PWM_IOCTL_SET_CONFIG,
     {10, 20},
     0,
     0,
     {make_state(20, 10, inversed, true)}},
    {"config duty above period goes to the core",
     stopped,
     PWM_IOCTL_SET_CONFIG,
     {30, 20},
     -EINVAL,
     -EINVAL,
     {make_state(20, 30, normal, false)}},
    {"config zero period goes to the core",
     stopped,
     PWM_IOCTL_SET_CONFIG,
     {0, 0},
     0,
     0,
     {make_state(0, 0, normal, false)}},
    {"config core failure returned",
     stopped,
     PWM_IOCTL_SET_CONFIG,
     {1, 2},
     -EIO,
     -EIO,
     {make_state(2, 1, normal, false)}},
    {"config negative duty", stopped, PWM_IOCTL_SET_CONFIG, {-1, 1000000}, 0, -EINVAL, {}},
    {"config negative period", stopped, PWM_IOCTL_SET_CONFIG, {250000, -1000000}, 0, -EINVAL, {}},
    {"config duty 2^31", stopped, PWM_IOCTL_SET_CONFIG, {INT32_MIN, 1000000}, 0, -EINVAL, {}},
    {"config period 2^32-1", stopped, PWM_IOCTL_SET_CONFIG, {250000, -1}, 0, -EINVAL, {}},
    {"enable stopped", stopped, PWM_IOCTL_ENABLE, {}, 0, 0, {running}},
    {"enable running", running, PWM_IOCTL_ENABLE, {}, 0, 0, {}},
    {"enable core failure returned", stopped, PWM_IOCTL_ENABLE, {}, -ETIMEDOUT, -ETIMEDOUT, {running}},
    {"disable running", running, PWM_IOCTL_DISABLE, {}, 0, 0, {stopped}},
    {"disable stopped", stopped, PWM_IOCTL_DISABLE, {}, 0, 0, {}},
    {"disable core failure still 0", running, PWM_IOCTL_DISABLE, {}, -EIO, 0, {stopped}},
    {"polarity 1 inverses", stopped, PWM_IOCTL_SET_POLARITY, {1}, 0, 0, {stopped_inversed}},
    {"polarity 7 inverses", stopped, PWM_IOCTL_SET_POLARITY, {7}, 0, 0, {stopped_inversed}},
    {"polarity -1 inverses", stopped, PWM_IOCTL_SET_POLARITY, {-1}, 0, 0, {stopped_inversed}},
    {"polarity 0 back to normal", stopped_inversed, PWM_IOCTL_SET_POLARITY, {0}, 0, 0, {stopped}},
    {"polarity unchanged", stopped, PWM_IOCTL_SET_POLARITY, {0}, 0, 0, {}},
    {"polarity unchanged while running", running, PWM_IOCTL_SET_POLARITY, {0}, 0, 0, {}},
    {"polarity change while running", running, PWM_IOCTL_SET_POLARITY, {1}, 0, -EBUSY, {}},
    {"polarity core failure returned", stopped, PWM_IOCTL_SET_POLARITY, {1}, -EINVAL, -EINVAL, {stopped_inversed}},
};

void PrintTo(const CommandCase &c, std::ostream *os)
{
    *os << c.name;
}

class Commands : public BoundTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, AppliesOnlyWhatChanged)
{
    const CommandCase &c = GetParam();
    k().hw = c.before;
    k().apply_result = c.apply_result;
    std::vector<std::int32_t> arg = c.arg;
    const void *argp = arg.empty() ? unreadable : arg.data();

    EXPECT_EQ(fake::ioctl(file, c.cmd, argp), c.result);
    EXPECT_EQ(show(k().applied), show(c.applied));
    // The core takes a state only when it accepts it.
    pwm_state after = c.applied.empty() || c.apply_result != 0 ? c.before : c.applied.back();
    EXPECT_EQ(show(k().hw), show(after));
}

// A 32-bit program on a 64-bit kernel: the same records, the same numbers,
// the same outcome.
TEST_P(Commands, SameFromA32BitProgram)
{
    const CommandCase &c = GetParam();
    k().hw = c.before;
    k().apply_result = c.apply_result;
    std::vector<std::int32_t> arg = c.arg;
    const void *argp = arg.empty() ? unreadable : arg.data();

    EXPECT_EQ(fake::compat_ioctl(file, c.cmd, argp), c.result);
    EXPECT_EQ(show(k().applied), show(c.applied));
}

INSTANTIATE_TEST_SUITE_P(Dimmerdev, Commands, ::testing::ValuesIn(command_cases), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

TEST_F(BoundTest, GetStateReportsDutyPeriodEnabledPolarity)
{
    k().hw = make_state(1000000, 300000, inversed, true);
    pwm_ioctl_status status{};
    ASSERT_EQ(fake::ioctl(file, PWM_IOCTL_GET_STATE, &status), 0);
    EXPECT_EQ(status.duty_cycle, 300000u);
    EXPECT_EQ(status.period, 1000000u);
    EXPECT_EQ(status.enabled, 1u);
    EXPECT_EQ(status.polarity, 1u);

    k().hw = make_state(20, 10, normal, false);
    ASSERT_EQ(fake::ioctl(file, PWM_IOCTL_GET_STATE, &status), 0);
    EXPECT_EQ(std::vector<std::uint32_t>({status.duty_cycle, status.period, status.enabled, status.polarity}),
              std::vector<std::uint32_t>({10, 20, 0, 0}));
    EXPECT_TRUE(k().applied.empty());
}

TEST_F(BoundTest, GetStateReachesA32BitProgram)
{
    k().hw = make_state(1000000, 300000, inversed, true);
    pwm_ioctl_status status{};
    ASSERT_EQ(fake::compat_ioctl(file, PWM_IOCTL_GET_STATE, &status), 0);
    EXPECT_EQ(std::vector<std::uint32_t>({status.duty_cycle, status.period, status.enabled, status.polarity}),
              std::vector<std::uint32_t>({300000, 1000000, 1, 1}));
}

TEST_F(BoundTest, PolarityChangesOnlyOnAStoppedOutput)
{
    k().hw = running;
    std::int32_t inverse = 7;
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_SET_POLARITY, &inverse), -EBUSY);
    EXPECT_EQ(show(k().hw), show(running));
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_DISABLE, nullptr), 0);
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_SET_POLARITY, &inverse), 0);
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_ENABLE, nullptr), 0);
    EXPECT_EQ(show(k().applied),
              show(std::vector<pwm_state>{stopped, stopped_inversed, make_state(1000000, 250000, inversed, true)}));
    pwm_ioctl_status status{};
    ASSERT_EQ(fake::ioctl(file, PWM_IOCTL_GET_STATE, &status), 0);
    EXPECT_EQ(status.polarity, 1u);
    EXPECT_EQ(status.enabled, 1u);
}

struct FaultCase {
    const char *name;
    unsigned int cmd;
    unsigned long uncopied; // bytes the faulting user copy leaves
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class UserFaults : public BoundTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UserFaults, GiveEfaultAndTouchNothing)
{
    const FaultCase &c = GetParam();
    k().hw = stopped;
    std::int32_t words[4] = {1, 2, 3, 4}; // would change the PWM if read
    k().fault_addr = words;
    k().fault_uncopied = c.uncopied;
    EXPECT_EQ(fake::ioctl(file, c.cmd, words), -EFAULT);
    EXPECT_EQ(fake::compat_ioctl(file, c.cmd, words), -EFAULT);
    EXPECT_TRUE(k().applied.empty());
    EXPECT_EQ(show(k().hw), show(stopped));
}

INSTANTIATE_TEST_SUITE_P(Dimmerdev, UserFaults,
                         ::testing::Values(FaultCase{"config_unmapped", PWM_IOCTL_SET_CONFIG, 8},
                                           FaultCase{"config_short", PWM_IOCTL_SET_CONFIG, 1},
                                           FaultCase{"polarity_unmapped", PWM_IOCTL_SET_POLARITY, 4},
                                           FaultCase{"polarity_short", PWM_IOCTL_SET_POLARITY, 2},
                                           FaultCase{"state_unwritable", PWM_IOCTL_GET_STATE, 16},
                                           FaultCase{"state_short", PWM_IOCTL_GET_STATE, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(BoundTest, NumbersDifferingInDirectionSizeOrTypeAreRefused)
{
    const unsigned int near_misses[] = {
        0x80085001, // set-config, read direction
        0xC0085001, // set-config, both directions
        0x40045001, // set-config, 4 bytes
        0x40045002, // enable with a written argument
        0x80045003, // disable with a read argument
        0x80045004, // set-polarity, read direction
        0x40085004, // set-polarity, 8 bytes
        0x40105005, // get-state, write direction
        0x80085005, // get-state, 8 bytes
        0x40085101, // set-config with type 'Q'
        0x5006,     // no such command
        0,
    };
    k().hw = stopped;
    std::int32_t words[4] = {7, 7, 7, 7};
    for (unsigned int cmd : near_misses) {
        EXPECT_EQ(fake::ioctl(file, cmd, words), -ENOTTY) << std::hex << cmd;
        EXPECT_EQ(fake::compat_ioctl(file, cmd, words), -ENOTTY) << std::hex << cmd;
    }
    EXPECT_TRUE(k().applied.empty());
    EXPECT_EQ(words[0], 7);
}

TEST_F(BoundTest, EveryOpenFileDrivesTheSamePwm)
{
    fake::OpenFile &second = slot();
    ASSERT_EQ(open(second), 0);
    k().hw = stopped;
    EXPECT_EQ(fake::ioctl(second, PWM_IOCTL_ENABLE, nullptr), 0);
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_ENABLE, nullptr), 0);
    fake::close(second);
    EXPECT_EQ(show(k().applied), show(std::vector<pwm_state>{running}));
    // Closing changes nothing on the output.
    EXPECT_EQ(show(k().hw), show(running));
}

} // namespace
