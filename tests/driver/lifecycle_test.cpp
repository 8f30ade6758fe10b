// Probe, removal and unbinding of dimmerdev in the fake driver core: the order
// of the steps, the unwinding of each failure, and files that outlive the
// platform device.
#include "harness.h"

#include <cstring>
#include <thread>

extern "C" {
#include <linux/module.h>
}

namespace {

using Calls = std::vector<std::string>;
using fake::Step;

const Calls probe_calls = {"devm_pwm_get", "mutex_init &dev->lock",  "alloc_chrdev_region pwm_ioctl 0 1",
                           "cdev_add",     "class_create pwm_ioctl", "device_create pwm_ctrl"};
const Calls removal_calls = {"device_destroy pwm_ctrl", "class_destroy pwm_ioctl", "cdev_del",
                             "unregister_chrdev_region 1", "pwm_put"};

Calls first(std::size_t n)
{
    return Calls(probe_calls.begin(), probe_calls.begin() + static_cast<std::ptrdiff_t>(n));
}

Calls concat(Calls a, const Calls &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(DriverTest, ProbeCreatesTheNodeAndRemovalUndoesItInOrder)
{
    ASSERT_EQ(fake::bind(pdev), 0);
    EXPECT_EQ(k().calls, probe_calls);
    EXPECT_EQ(k().messages, Calls{"info: PWM ioctl driver probed\n"});
    EXPECT_NE(pdev.dev.driver_data, nullptr);
    ASSERT_EQ(k().nodes.count("pwm_ctrl"), 1u);

    k().hw = make_state(1000, 500, PWM_POLARITY_NORMAL, true);
    k().calls.clear();
    fake::unbind(pdev);
    EXPECT_EQ(k().calls, removal_calls);
    // Removal leaves a running output running.
    EXPECT_TRUE(k().applied.empty());
    EXPECT_EQ(k().messages.size(), 1u);
}

struct UnwindCase {
    const char *name;
    Step step;
    int error;
    int result;
    Calls calls; // everything the probe did, the undoing included
    Calls messages;
};

const UnwindCase unwind_cases[] = {
    {"cdev_alloc", Step::CdevAlloc, -ENOMEM, -ENOMEM, {}, {}},
    {"record", Step::Kzalloc, -ENOMEM, -ENOMEM, {}, {}},
    {"pwm_missing", Step::PwmGet, -ENODEV, -ENXIO, {}, {"err: Failed to get PWM\n"}},
    {"pwm_invalid", Step::PwmGet, -EINVAL, -ENXIO, {}, {"err: Failed to get PWM\n"}},
    {"pwm_deferred", Step::PwmGet, -EPROBE_DEFER, -EPROBE_DEFER, {}, {}},
    {"region", Step::ChrdevRegion, -EBUSY, -EBUSY, concat(first(2), {"pwm_put"}), {}},
    {"cdev_add", Step::CdevAdd, -ENOMEM, -ENOMEM, concat(first(3), {"unregister_chrdev_region 1", "pwm_put"}), {}},
    {"class",
     Step::ClassCreate,
     -ENOMEM,
     -ENOMEM,
     concat(first(4), {"cdev_del", "unregister_chrdev_region 1", "pwm_put"}),
     {}},
    {"node",
     Step::DeviceCreate,
     -EEXIST,
     -EEXIST,
     concat(first(5), {"class_destroy pwm_ioctl", "cdev_del", "unregister_chrdev_region 1", "pwm_put"}),
     {}},
};

void PrintTo(const UnwindCase &c, std::ostream *os)
{
    *os << c.name;
}

class ProbeUnwinding : public DriverTest, public ::testing::WithParamInterface<UnwindCase> {};

TEST_P(ProbeUnwinding, UndoesEveryEarlierStepAndReturnsTheError)
{
    const UnwindCase &c = GetParam();
    k().fail[c.step] = c.error;
    EXPECT_EQ(fake::bind(pdev), c.result);
    EXPECT_EQ(k().calls, c.calls);
    EXPECT_EQ(k().messages, c.messages);
    EXPECT_EQ(pdev.dev.driver_data, nullptr);
    EXPECT_EQ(fake::leftovers(), Calls{});

    // Nothing stuck: once the cause is gone the same device binds.
    k().fail.clear();
    EXPECT_EQ(fake::bind(pdev), 0);
}

INSTANTIATE_TEST_SUITE_P(Dimmerdev, ProbeUnwinding, ::testing::ValuesIn(unwind_cases),
                         [](const auto &info) { return std::string(info.param.name); });

// A file opened while a failing probe still had the cdev registered must not
// reach the PWM that goes with the failed probe, nor freed memory.
TEST_F(DriverTest, FileOpenedDuringAFailingProbeIsRefusedAndClosesSafely)
{
    fake::OpenFile &early = slot();
    k().before[Step::DeviceCreate] = [&] {
        ASSERT_EQ(k().cdev_map.size(), 1u);
        ASSERT_EQ(fake::open_devt(k().cdev_map.begin()->first, early), 0);
    };
    k().fail[Step::DeviceCreate] = -ENOMEM;
    ASSERT_EQ(fake::bind(pdev), -ENOMEM);
    ASSERT_TRUE(early.open);
    EXPECT_EQ(k().allocations.size(), 1u); // the record, kept by the file

    pwm_ioctl_status status{};
    EXPECT_EQ(fake::ioctl(early, PWM_IOCTL_GET_STATE, &status), -ENODEV);
    EXPECT_EQ(fake::ioctl(early, PWM_IOCTL_ENABLE, nullptr), -ENODEV);
    fake::close(early);
    EXPECT_TRUE(k().applied.empty());
}

TEST_F(DriverTest, UnbindWhileOpenRefusesCommandsAndFreesWithTheLastFile)
{
    fake::OpenFile &a = slot(), &b = slot();
    ASSERT_EQ(fake::bind(pdev), 0);
    ASSERT_EQ(open(a), 0);
    ASSERT_EQ(open(b), 0);
    k().hw = make_state(1000, 500, PWM_POLARITY_NORMAL, false);
    ASSERT_EQ(fake::ioctl(a, PWM_IOCTL_ENABLE, nullptr), 0);

    k().calls.clear();
    fake::unbind(pdev);
    EXPECT_EQ(k().calls, removal_calls);
    EXPECT_EQ(k().nodes.count("pwm_ctrl"), 0u);
    EXPECT_EQ(k().allocations.size(), 1u); // the record stays while files are open

    const std::int32_t config[2] = {1, 2};
    const std::int32_t inverse = 1;
    pwm_ioctl_status status{};
    for (fake::OpenFile *of : {&a, &b}) {
        EXPECT_EQ(fake::ioctl(*of, PWM_IOCTL_SET_CONFIG, config), -ENODEV);
        EXPECT_EQ(fake::ioctl(*of, PWM_IOCTL_ENABLE, nullptr), -ENODEV);
        EXPECT_EQ(fake::ioctl(*of, PWM_IOCTL_DISABLE, nullptr), -ENODEV);
        EXPECT_EQ(fake::ioctl(*of, PWM_IOCTL_SET_POLARITY, &inverse), -ENODEV);
        EXPECT_EQ(fake::ioctl(*of, PWM_IOCTL_GET_STATE, &status), -ENODEV);
        EXPECT_EQ(fake::ioctl(*of, 0x5006, nullptr), -ENODEV);
    }
    EXPECT_EQ(k().applied.size(), 1u); // only the enable before the unbind
    EXPECT_EQ(fake::unload_module(), -EBUSY);

    fake::close(a);
    EXPECT_EQ(k().allocations.size(), 1u);
    fake::close(b);
    EXPECT_TRUE(k().allocations.empty());
    EXPECT_EQ(fake::module_refcount(), 0);
    // The output keeps running: removal gives the PWM no command.
    EXPECT_TRUE(k().hw.enabled);
}

TEST_F(DriverTest, RebindWhileAnOldFileIsOpenCreatesAFreshNode)
{
    fake::OpenFile &old_file = slot(), &new_file = slot();
    ASSERT_EQ(fake::bind(pdev), 0);
    ASSERT_EQ(open(old_file), 0);
    dev_t old_devt = k().nodes.at("pwm_ctrl").devt;
    fake::unbind(pdev);

    ASSERT_EQ(fake::bind(pdev), 0);
    EXPECT_NE(k().nodes.at("pwm_ctrl").devt, old_devt);
    ASSERT_EQ(open(new_file), 0);
    EXPECT_EQ(fake::ioctl(old_file, PWM_IOCTL_ENABLE, nullptr), -ENODEV);
    EXPECT_EQ(fake::ioctl(new_file, PWM_IOCTL_ENABLE, nullptr), 0);
    fake::close(old_file);
    EXPECT_EQ(fake::ioctl(new_file, PWM_IOCTL_DISABLE, nullptr), 0);
    EXPECT_EQ(k().applied.size(), 2u);
}

TEST_F(DriverTest, DeferredProbeBindsOnceThePwmAppears)
{
    k().fail[Step::PwmGet] = -EPROBE_DEFER;
    EXPECT_EQ(fake::bind(pdev), -EPROBE_DEFER);
    k().fail.clear();
    EXPECT_EQ(fake::bind(pdev), 0);
    EXPECT_EQ(k().messages, Calls{"info: PWM ioctl driver probed\n"});
}

// The node's names are fixed: a second matching node is turned away with one
// line before probe touches its PWM, a device number or the class, and binds
// once the first has gone.
TEST_F(DriverTest, SecondMatchingNodeIsRefusedBeforeTouchingAnything)
{
    platform_device second{"vendor,pwm-ioctl", {"pwmd", nullptr}};
    fake::OpenFile &of = slot();
    ASSERT_EQ(fake::bind(pdev), 0);
    k().calls.clear();
    k().messages.clear();

    EXPECT_EQ(fake::bind(second), -EBUSY);
    EXPECT_EQ(k().calls, Calls{});
    EXPECT_EQ(k().messages, Calls{"err: /dev/pwm_ctrl is already published by pwmc\n"});
    EXPECT_EQ(second.dev.driver_data, nullptr);
    EXPECT_EQ(k().pwms.size(), 1u);
    ASSERT_EQ(open(of), 0);
    EXPECT_EQ(fake::ioctl(of, PWM_IOCTL_ENABLE, nullptr), 0);
    fake::close(of);

    fake::unbind(pdev);
    k().calls.clear();
    ASSERT_EQ(fake::bind(second), 0);
    EXPECT_EQ(k().calls, probe_calls);
    fake::unbind(second);
}

// A probe that failed or was deferred publishes nothing, so it keeps no other
// node out.
TEST_F(DriverTest, FailedProbeLeavesTheNodeToTheNextDevice)
{
    platform_device second{"vendor,pwm-ioctl", {"pwmd", nullptr}};
    k().fail[Step::DeviceCreate] = -ENOMEM;
    ASSERT_EQ(fake::bind(pdev), -ENOMEM);
    k().fail.clear();
    k().fail[Step::PwmGet] = -EPROBE_DEFER;
    ASSERT_EQ(fake::bind(pdev), -EPROBE_DEFER);
    k().fail.clear();
    ASSERT_EQ(fake::bind(second), 0);
    EXPECT_EQ(fake::bind(pdev), -EBUSY);
    fake::unbind(second);
}

// Removal waits for a command that is using the PWM; the command ends on the
// PWM it started with, and the next one finds the device gone.
TEST_F(BoundTest, UnbindWaitsForACommandInProgress)
{
    std::thread unbinder;
    k().hw = make_state(1000, 500, PWM_POLARITY_NORMAL, false);
    k().during_apply = [&] {
        k().during_apply = nullptr;
        unbinder = fake::start_thread([&] { fake::unbind(pdev); });
    };
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_ENABLE, nullptr), 0);
    ASSERT_TRUE(unbinder.joinable());
    unbinder.join();
    EXPECT_EQ(k().nodes.count("pwm_ctrl"), 0u);
    EXPECT_EQ(fake::ioctl(file, PWM_IOCTL_DISABLE, nullptr), -ENODEV);
    EXPECT_EQ(k().applied.size(), 1u);
}

TEST_F(DriverTest, UnloadRemovesABoundDeviceWithoutStoppingTheOutput)
{
    ASSERT_EQ(fake::bind(pdev), 0);
    k().hw = make_state(1000, 500, PWM_POLARITY_INVERSED, true);
    k().calls.clear();
    ASSERT_EQ(fake::unload_module(), 0);
    EXPECT_EQ(k().calls, concat(removal_calls, {"platform_driver_unregister"}));
    EXPECT_TRUE(k().applied.empty());
    ASSERT_EQ(fake::load_module(), 0); // for the fixture's own unload
}

TEST_F(DriverTest, MatchesOnlyItsCompatibleAndCarriesItsModuleInformation)
{
    platform_device other{"vendor,pwm-other", {}};
    EXPECT_EQ(fake::bind(other), -ENODEV);
    EXPECT_STREQ(k().driver->driver.name, "pwm-ioctl");
    EXPECT_EQ(k().driver->driver.of_match_table, fake_module_device_table_of);
    const of_device_id *ids = k().driver->driver.of_match_table;
    EXPECT_STREQ(ids[0].compatible, "vendor,pwm-ioctl");
    EXPECT_STREQ(ids[0].name, "");
    EXPECT_STREQ(ids[0].type, "");
    EXPECT_EQ(ids[0].data, nullptr);
    const of_device_id empty{};
    EXPECT_EQ(std::memcmp(&ids[1], &empty, sizeof(empty)), 0);
    EXPECT_STREQ(fake_module_description, "PWM ioctl control driver");
    EXPECT_STREQ(fake_module_license, "GPL");
}

} // namespace
