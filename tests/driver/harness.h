// Fixtures shared by the dimmerdev tests: the module loaded into the fake
// kernel, a matching platform device, and readable PWM states.
#pragma once

#include "fake_kernel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

extern "C" {
#include "pwm_ioctl.h"
}

inline pwm_state make_state(std::uint32_t period, std::uint32_t duty, pwm_polarity polarity, bool enabled)
{
    pwm_state s = fake::core_state();
    s.period = period;
    s.duty_cycle = duty;
    s.polarity = polarity;
    s.enabled = enabled;
    return s;
}

inline std::string show(const pwm_state &s)
{
    return "period=" + std::to_string(s.period) + " duty=" + std::to_string(s.duty_cycle) +
           (s.polarity == PWM_POLARITY_INVERSED ? " inversed" : " normal") + (s.enabled ? " on" : " off");
}

inline std::vector<std::string> show(const std::vector<pwm_state> &states)
{
    std::vector<std::string> out;
    for (const pwm_state &s : states)
        out.push_back(show(s));
    return out;
}

// The module loaded, nothing bound yet. Every test ends with the module
// unloaded, nothing left behind and no rule broken.
class DriverTest : public ::testing::Test {
protected:
    platform_device pdev{"vendor,pwm-ioctl", {"pwmc", nullptr}};

    void SetUp() override
    {
        fake::reset();
        ASSERT_EQ(fake::load_module(), 0);
        k().calls.clear();
    }

    void TearDown() override
    {
        for (fake::OpenFile &of : files)
            if (of.open)
                fake::close(of);
        EXPECT_EQ(fake::unload_module(), 0);
        EXPECT_EQ(fake::leftovers(), std::vector<std::string>{});
        EXPECT_EQ(k().violations, std::vector<std::string>{});
        fake::reset();
    }

    static fake::Kernel &k() { return fake::kernel(); }

    // A file that the fixture closes at the end if the test did not.
    fake::OpenFile &slot() { return files.emplace_back(); }

    static int open(fake::OpenFile &of) { return fake::open_node("pwm_ctrl", of); }

private:
    std::deque<fake::OpenFile> files;
};

// The device bound and /dev/pwm_ctrl open.
class BoundTest : public DriverTest {
protected:
    fake::OpenFile &file = slot();

    void SetUp() override
    {
        DriverTest::SetUp();
        ASSERT_EQ(fake::bind(pdev), 0);
        ASSERT_EQ(open(file), 0);
        k().calls.clear();
        k().messages.clear();
    }
};
