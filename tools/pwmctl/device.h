// Runs one pwmctl request against the device node through replaceable system
// calls, so that tests can stand in for the driver.
#pragma once

#include <functional>
#include <string>

#include "cli.h"

namespace pwmctl {

struct System {
    std::function<int(const char *path, int flags)> open;
    std::function<int(int fd, unsigned long request, void *arg)> ioctl; // -1 and errno on failure
    std::function<int(int fd)> close;
};

// The real calls.
System os_system();

struct Outcome {
    int status = 0;  // the process's exit status
    std::string out; // for standard output
    std::string err; // for standard error
};

Outcome execute(const Request &request, const System &sys);

// Why the device refused, in words, for the command that was refused.
std::string explain(Action action, int error);

} // namespace pwmctl
