// Command line of pwmctl: what the user asked for, and how answers are shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pwm_ioctl.h"

namespace pwmctl {

enum class Action { Help, Get, Set, Enable, Disable, Polarity };

struct Request {
    Action action = Action::Help;
    std::string device = "/dev/pwm_ctrl";
    bool json = false;       // get
    std::int32_t duty = 0;   // set, nanoseconds
    std::int32_t period = 0; // set, nanoseconds
    bool inversed = false;   // polarity
};

struct Parsed {
    Request request;
    std::string error; // empty when the command line is valid
};

Parsed parse(const std::vector<std::string_view> &args);
std::string usage();
std::string action_name(Action action);
std::string format_status(const pwm_ioctl_status &status, bool json);

} // namespace pwmctl
