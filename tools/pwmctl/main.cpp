// pwmctl: command-line control of the PWM output behind /dev/pwm_ctrl.
#include <cstdio>

#include "cli.h"
#include "device.h"
#include "tool_options.h"
#include "tool_report.h"

int main(int argc, char **argv)
{
    const tool_kit::Tool tool{"pwmctl"};
    pwmctl::Parsed parsed = pwmctl::parse(tool_kit::args_of(argc, argv));
    if (!parsed.error.empty()) {
        return tool_kit::usage_error(tool, parsed.error);
    }
    pwmctl::Outcome outcome = pwmctl::execute(parsed.request, pwmctl::os_system());
    std::fputs(outcome.out.c_str(), tool.out);
    std::fputs(outcome.err.c_str(), tool.err);
    return outcome.status;
}
