// pwmctl's command line and its dealings with the device, with a stand-in for
// the driver's ioctl.
#include "cli.h"
#include "device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

extern "C" void pwm_ioctl_seen_from_c(unsigned long numbers[5], std::size_t sizes[2]);

namespace {

using pwmctl::Action;

TEST(PwmIoctlHeader, CAndCxxSeeTheSameInterface)
{
    unsigned long numbers[5];
    std::size_t sizes[2];
    pwm_ioctl_seen_from_c(numbers, sizes);
    EXPECT_EQ(std::vector<unsigned long>(numbers, numbers + 5),
              (std::vector<unsigned long>{PWM_IOCTL_SET_CONFIG, PWM_IOCTL_ENABLE, PWM_IOCTL_DISABLE,
                                          PWM_IOCTL_SET_POLARITY, PWM_IOCTL_GET_STATE}));
    EXPECT_EQ(sizes[0], sizeof(pwm_ioctl_config));
    EXPECT_EQ(sizes[1], sizeof(pwm_ioctl_status));
}

std::vector<std::string_view> words(std::initializer_list<const char *> list)
{
    return std::vector<std::string_view>(list.begin(), list.end());
}

struct ParseCase {
    std::vector<std::string_view> args;
    Action action;
    std::string device;
    bool json;
    std::int32_t duty, period;
    bool inversed;
};

TEST(PwmctlParse, AcceptsEveryCommandWithItsOptions)
{
    const ParseCase cases[] = {
        {words({"get"}), Action::Get, "/dev/pwm_ctrl", false, 0, 0, false},
        {words({"get", "--json"}), Action::Get, "/dev/pwm_ctrl", true, 0, 0, false},
        {words({"--device", "/dev/x", "get"}), Action::Get, "/dev/x", false, 0, 0, false},
        {words({"get", "--device=/dev/y"}), Action::Get, "/dev/y", false, 0, 0, false},
        {words({"set", "--duty", "250000", "--period", "1000000"}), Action::Set, "/dev/pwm_ctrl", false, 250000,
         1000000, false},
        {words({"set", "--period", "2147483647", "--duty", "0"}), Action::Set, "/dev/pwm_ctrl", false, 0, 2147483647,
         false},
        {words({"enable"}), Action::Enable, "/dev/pwm_ctrl", false, 0, 0, false},
        {words({"disable", "--device", "/dev/z"}), Action::Disable, "/dev/z", false, 0, 0, false},
        {words({"polarity", "inversed"}), Action::Polarity, "/dev/pwm_ctrl", false, 0, 0, true},
        {words({"polarity", "normal"}), Action::Polarity, "/dev/pwm_ctrl", false, 0, 0, false},
        {words({"set", "--duty", "1", "--period", "2", "--help"}), Action::Help, "/dev/pwm_ctrl", false, 0, 0, false},
        {words({"-h"}), Action::Help, "/dev/pwm_ctrl", false, 0, 0, false},
        {words({"set", "--duty=5", "--period=10"}), Action::Set, "/dev/pwm_ctrl", false, 5, 10, false},
        {words({"polarity", "--", "normal"}), Action::Polarity, "/dev/pwm_ctrl", false, 0, 0, false},
    };
    for (const ParseCase &c : cases) {
        pwmctl::Parsed p = pwmctl::parse(c.args);
        SCOPED_TRACE(c.args.empty() ? "" : std::string(c.args[0]));
        ASSERT_EQ(p.error, "");
        EXPECT_EQ(p.request.action, c.action);
        EXPECT_EQ(p.request.device, c.device);
        EXPECT_EQ(p.request.json, c.json);
        EXPECT_EQ(p.request.duty, c.duty);
        EXPECT_EQ(p.request.period, c.period);
        EXPECT_EQ(p.request.inversed, c.inversed);
    }
}

TEST(PwmctlParse, RejectsWrongCommandLinesWithTheReason)
{
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {words({}), "no command given"},
        {words({"start"}), "unknown command 'start'"},
        {words({"set", "--duty", "10"}), "set needs both --duty and --period"},
        {words({"set", "--duty", "-1", "--period", "10"}), "--duty takes nanoseconds from 0 to 2147483647, not '-1'"},
        {words({"set", "--duty", "1", "--period", "2147483648"}),
         "--period takes nanoseconds from 0 to 2147483647, not '2147483648'"},
        {words({"set", "--duty", "1ms", "--period", "2"}), "--duty takes nanoseconds from 0 to 2147483647, not '1ms'"},
        {words({"set", "--duty", "", "--period", "2"}), "--duty takes nanoseconds from 0 to 2147483647, not ''"},
        {words({"set", "--duty", "1", "--period"}), "--period needs a value"},
        {words({"enable", "--duty", "1"}), "--duty and --period belong to set"},
        {words({"polarity"}), "polarity needs 'normal' or 'inversed'"},
        {words({"polarity", "reversed"}), "polarity is 'normal' or 'inversed', not 'reversed'"},
        {words({"polarity", "normal", "inversed"}), "unexpected argument 'inversed'"},
        {words({"enable", "disable"}), "unexpected argument 'disable'"},
        {words({"disable", "--json"}), "--json belongs to get"},
        {words({"get", "--device"}), "--device needs a value"},
        {words({"get", "--device="}), "--device needs a path"},
        {words({"get", "--verbose"}), "unknown option '--verbose'"},
        {words({"--bogus", "get"}), "unknown option '--bogus'"},
        {words({"start", "--help"}), "unknown command 'start'"},
    };
    for (const auto &[args, error] : cases)
        EXPECT_EQ(pwmctl::parse(args).error, error);
}

TEST(PwmctlFormat, ShowsTheStateAsTextAndJson)
{
    pwm_ioctl_status running{250000, 1000000, 1, 0};
    pwm_ioctl_status stopped{4294967295u, 0, 0, 1};
    EXPECT_EQ(pwmctl::format_status(running, false),
              "duty_cycle: 250000 ns\nperiod: 1000000 ns\nenabled: yes\npolarity: normal\n");
    EXPECT_EQ(pwmctl::format_status(running, true),
              "{\"duty_cycle\":250000,\"period\":1000000,\"enabled\":true,\"polarity\":\"normal\"}\n");
    EXPECT_EQ(pwmctl::format_status(stopped, true),
              "{\"duty_cycle\":4294967295,\"period\":0,\"enabled\":false,\"polarity\":\"inversed\"}\n");
}

// Records what pwmctl asks of the device and answers as told.
struct FakeDevice {
    std::string opened;
    int flags = -1;
    int open_errno = 0;
    unsigned long request = 0;
    std::vector<unsigned char> arg; // the bytes handed in
    int ioctl_errno = 0;
    pwm_ioctl_status state{};
    bool closed = false;

    pwmctl::System system()
    {
        return pwmctl::System{[this](const char *path, int f) {
                                  opened = path;
                                  flags = f;
                                  errno = open_errno;
                                  return open_errno ? -1 : 7;
                              },
                              [this](int fd, unsigned long req, void *p) { return ioctl(fd, req, p); },
                              [this](int fd) {
                                  closed = fd == 7;
                                  return 0;
                              }};
    }

    int ioctl(int fd, unsigned long req, void *p)
    {
        EXPECT_EQ(fd, 7);
        request = req;
        std::size_t size = (req >> 16) & 0x3fff;
        if (req == PWM_IOCTL_GET_STATE)
            std::memcpy(p, &state, sizeof(state));
        else if (size != 0)
            arg.assign(static_cast<unsigned char *>(p), static_cast<unsigned char *>(p) + size);
        errno = ioctl_errno;
        return ioctl_errno ? -1 : 0;
    }
};

std::vector<unsigned char> bytes_of(std::initializer_list<std::int32_t> values)
{
    std::vector<unsigned char> out;
    for (std::int32_t v : values) {
        unsigned char b[4];
        std::memcpy(b, &v, 4);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

TEST(PwmctlDevice, SendsEachCommandWithItsArgument)
{
    struct Case {
        std::vector<std::string_view> args;
        unsigned long request;
        std::vector<unsigned char> arg;
        int flags;
    };
    const Case cases[] = {
        {words({"set", "--duty", "250000", "--period", "1000000"}), 0x40085001, bytes_of({250000, 1000000}), O_RDWR},
        {words({"enable"}), 0x5002, {}, O_RDWR},
        {words({"disable"}), 0x5003, {}, O_RDWR},
        {words({"polarity", "inversed"}), 0x40045004, bytes_of({1}), O_RDWR},
        {words({"polarity", "normal"}), 0x40045004, bytes_of({0}), O_RDWR},
        {words({"get"}), 0x80105005, {}, O_RDONLY},
    };
    for (const Case &c : cases) {
        FakeDevice dev;
        pwmctl::Outcome o = pwmctl::execute(pwmctl::parse(c.args).request, dev.system());
        SCOPED_TRACE(std::string(c.args[0]));
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(dev.opened, "/dev/pwm_ctrl");
        EXPECT_EQ(dev.flags & O_ACCMODE, c.flags);
        EXPECT_EQ(dev.request, c.request);
        EXPECT_EQ(dev.arg, c.arg);
        EXPECT_TRUE(dev.closed);
    }
}

TEST(PwmctlDevice, GetPrintsWhatTheDriverReports)
{
    FakeDevice dev;
    dev.state = pwm_ioctl_status{10, 20, 1, 1};
    pwmctl::Outcome o = pwmctl::execute(pwmctl::parse(words({"get", "--json"})).request, dev.system());
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "{\"duty_cycle\":10,\"period\":20,\"enabled\":true,\"polarity\":\"inversed\"}\n");
}

TEST(PwmctlDevice, NamesTheCauseOfAFailureAndFails)
{
    struct Case {
        std::vector<std::string_view> args;
        int open_errno, ioctl_errno;
        std::string err;
    };
    const Case cases[] = {
        {words({"polarity", "inversed"}), 0, EBUSY,
         "pwmctl: polarity: output is enabled: disable it before changing polarity\n"},
        {words({"set", "--duty", "20", "--period", "10"}), 0, EINVAL,
         "pwmctl: set: the PWM does not accept this duty cycle and period (the duty cycle must not exceed the "
         "period)\n"},
        {words({"enable"}), 0, ENODEV,
         "pwmctl: enable: the device was unbound from its driver: open it again once it is bound\n"},
        {words({"get"}), 0, ENOTTY, "pwmctl: get: not a PWM control device, or a driver of another version\n"},
        {words({"enable"}), 0, EIO, "pwmctl: enable: the PWM controller failed: " + std::string(strerror(EIO)) + "\n"},
        {words({"--device", "/dev/none", "get"}), ENOENT, 0,
         "pwmctl: cannot open /dev/none: no such device node (is the dimmerdev module loaded and its device "
         "bound?)\n"},
        {words({"disable"}), EACCES, 0, "pwmctl: cannot open /dev/pwm_ctrl: permission denied\n"},
    };
    for (const Case &c : cases) {
        FakeDevice dev;
        dev.open_errno = c.open_errno;
        dev.ioctl_errno = c.ioctl_errno;
        pwmctl::Outcome o = pwmctl::execute(pwmctl::parse(c.args).request, dev.system());
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(dev.closed, c.open_errno == 0);
    }
}

TEST(PwmctlDevice, HelpTouchesNoDevice)
{
    FakeDevice dev;
    pwmctl::Outcome o = pwmctl::execute(pwmctl::parse(words({"--help"})).request, dev.system());
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("Usage: pwmctl"), std::string::npos);
    EXPECT_EQ(dev.opened, "");
}

} // namespace
