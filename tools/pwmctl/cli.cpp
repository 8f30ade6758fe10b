#include "cli.h"

#include <charconv>
#include <limits>

#include "tool_options.h"

namespace pwmctl {
namespace {

struct Word {
    std::string_view name;
    Action action;
};

constexpr Word commands[] = {{"get", Action::Get},
                             {"set", Action::Set},
                             {"enable", Action::Enable},
                             {"disable", Action::Disable},
                             {"polarity", Action::Polarity}};

// Nanoseconds as the driver takes them: a signed 32-bit count, never negative.
bool parse_ns(std::string_view text, std::int32_t &out)
{
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return false;
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

constexpr tool_kit::Option kOptions[] = {
    {"--help", "-h"}, {"--device", {}, "a value"}, {"--json"}, {"--duty", {}, "a value"}, {"--period", {}, "a value"},
};

// Takes the options and words as the tool kit's parser meets them; options may
// come before or after the command.
class Parser {
public:
    Parsed run(const std::vector<std::string_view> &args)
    {
        bool help = false;
        const tool_kit::ParseError parsed =
            tool_kit::parse_args(args, kOptions, [&](const tool_kit::Arg &arg, std::string *error) {
                if (arg.text == "--help") {
                    help = true;
                    return tool_kit::Next::Stop;
                }
                *error = take(arg);
                return tool_kit::Next::Go;
            });
        if (help && parsed.message.empty())
            return Parsed{Request{}, ""};
        std::string error = parsed.message;
        if (error.empty())
            error = check();
        return Parsed{req_, error};
    }

private:
    std::string take(const tool_kit::Arg &arg)
    {
        if (arg.text == "--device")
            req_.device = std::string(arg.value);
        else if (arg.text == "--json")
            req_.json = true;
        else if (arg.text == "--duty")
            return ns(arg, req_.duty, has_duty_);
        else if (arg.text == "--period")
            return ns(arg, req_.period, has_period_);
        else if (!has_command_)
            return command(arg.text);
        else if (req_.action == Action::Polarity && !has_polarity_)
            return polarity(arg.text);
        else
            return "unexpected argument '" + std::string(arg.text) + "'";
        return "";
    }

    static std::string ns(const tool_kit::Arg &arg, std::int32_t &out, bool &given)
    {
        given = parse_ns(arg.value, out);
        if (!given)
            return std::string(arg.text) + " takes nanoseconds from 0 to 2147483647, not '" + std::string(arg.value) +
                   "'";
        return "";
    }

    std::string command(std::string_view word)
    {
        for (const Word &w : commands)
            if (word == w.name) {
                req_.action = w.action;
                has_command_ = true;
                return "";
            }
        return "unknown command '" + std::string(word) + "'";
    }

    std::string polarity(std::string_view word)
    {
        if (word == "normal" || word == "inversed") {
            req_.inversed = word == "inversed";
            has_polarity_ = true;
            return "";
        }
        return "polarity is 'normal' or 'inversed', not '" + std::string(word) + "'";
    }

    std::string check() const
    {
        Action a = req_.action;
        if (!has_command_)
            return "no command given";
        if (req_.device.empty())
            return "--device needs a path";
        if (a == Action::Set && (!has_duty_ || !has_period_))
            return "set needs both --duty and --period";
        if (a != Action::Set && (has_duty_ || has_period_))
            return "--duty and --period belong to set";
        if (a == Action::Polarity && !has_polarity_)
            return "polarity needs 'normal' or 'inversed'";
        if (a != Action::Get && req_.json)
            return "--json belongs to get";
        return "";
    }

    Request req_;
    bool has_command_ = false, has_duty_ = false, has_period_ = false, has_polarity_ = false;
};

} // namespace

Parsed parse(const std::vector<std::string_view> &args)
{
    return Parser().run(args);
}

std::string usage()
{
    return "Usage: pwmctl [--device PATH] COMMAND [OPTIONS]\n"
           "\n"
           "Controls the PWM output that the dimmerdev driver publishes.\n"
           "\n"
           "Commands:\n"
           "  get [--json]                 show duty cycle, period, enabled and polarity\n"
           "  set --duty NS --period NS    set duty cycle and period, in nanoseconds\n"
           "  enable                       start the output\n"
           "  disable                      stop the output\n"
           "  polarity normal|inversed     set the polarity (only while the output is disabled)\n"
           "\n"
           "Options:\n"
           "  --device PATH   the device node (default /dev/pwm_ctrl)\n"
           "  --help          show this help\n"
           "\n"
           "Exit status: 0 on success, 1 when the device refuses or fails, 2 for a wrong command line.\n";
}

std::string action_name(Action action)
{
    for (const Word &w : commands)
        if (w.action == action)
            return std::string(w.name);
    return "help";
}

std::string format_status(const pwm_ioctl_status &status, bool json)
{
    std::string duty = std::to_string(status.duty_cycle);
    std::string period = std::to_string(status.period);
    std::string polarity = status.polarity ? "inversed" : "normal";
    if (json)
        return "{\"duty_cycle\":" + duty + ",\"period\":" + period +
               ",\"enabled\":" + (status.enabled ? "true" : "false") + ",\"polarity\":\"" + polarity + "\"}\n";
    return "duty_cycle: " + duty + " ns\nperiod: " + period + " ns\nenabled: " + (status.enabled ? "yes" : "no") +
           "\npolarity: " + polarity + "\n";
}

} // namespace pwmctl
