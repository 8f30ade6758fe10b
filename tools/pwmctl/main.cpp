// pwmctl: command-line control of the PWM output behind /dev/pwm_ctrl.
#include <cstdio>
#include <string_view>
#include <vector>

#include "cli.h"
#include "device.h"

int main(int argc, char **argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    pwmctl::Parsed parsed = pwmctl::parse(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "pwmctl: %s\nTry 'pwmctl --help'.\n", parsed.error.c_str());
        return 2;
    }
    pwmctl::Outcome outcome = pwmctl::execute(parsed.request, pwmctl::os_system());
    std::fputs(outcome.out.c_str(), stdout);
    std::fputs(outcome.err.c_str(), stderr);
    return outcome.status;
}
