#include "cli.h"

#include <charconv>
#include <limits>

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

// Walks the words once; options may come before or after the command.
class Parser {
public:
    explicit Parser(const std::vector<std::string_view> &args) : args_(args) {}

    Parsed run()
    {
        bool has_command = false, has_duty = false, has_period = false, has_polarity = false;
        for (pos_ = 0; pos_ < args_.size() && error_.empty(); ++pos_) {
            std::string_view arg = args_[pos_];
            if (arg == "--help" || arg == "-h")
                return Parsed{Request{}, ""};
            if (arg == "--device")
                req_.device = value("--device");
            else if (arg.starts_with("--device="))
                req_.device = arg.substr(9);
            else if (arg == "--json")
                req_.json = true;
            else if (arg == "--duty")
                has_duty = ns("--duty", req_.duty);
            else if (arg == "--period")
                has_period = ns("--period", req_.period);
            else if (!has_command)
                has_command = command(arg);
            else if (has_command && req_.action == Action::Polarity && !has_polarity)
                has_polarity = polarity(arg);
            else
                error_ = "unexpected argument '" + std::string(arg) + "'";
        }
        if (error_.empty())
            check(has_command, has_duty, has_period, has_polarity);
        return Parsed{req_, error_};
    }

private:
    std::string value(std::string_view option)
    {
        if (pos_ + 1 >= args_.size()) {
            error_ = std::string(option) + " needs a value";
            return {};
        }
        return std::string(args_[++pos_]);
    }

    bool ns(std::string_view option, std::int32_t &out)
    {
        std::string text = value(option);
        if (error_.empty() && !parse_ns(text, out))
            error_ = std::string(option) + " takes nanoseconds from 0 to 2147483647, not '" + text + "'";
        return error_.empty();
    }

    bool command(std::string_view arg)
    {
        for (const Word &w : commands)
            if (arg == w.name) {
                req_.action = w.action;
                return true;
            }
        error_ = "unknown command '" + std::string(arg) + "'";
        return false;
    }

    bool polarity(std::string_view arg)
    {
        if (arg == "normal" || arg == "inversed") {
            req_.inversed = arg == "inversed";
            return true;
        }
        error_ = "polarity is 'normal' or 'inversed', not '" + std::string(arg) + "'";
        return false;
    }

    void check(bool has_command, bool has_duty, bool has_period, bool has_polarity)
    {
        Action a = req_.action;
        if (!has_command)
            error_ = "no command given";
        else if (req_.device.empty())
            error_ = "--device needs a path";
        else if (a == Action::Set && (!has_duty || !has_period))
            error_ = "set needs both --duty and --period";
        else if (a != Action::Set && (has_duty || has_period))
            error_ = "--duty and --period belong to set";
        else if (a == Action::Polarity && !has_polarity)
            error_ = "polarity needs 'normal' or 'inversed'";
        else if (a != Action::Get && req_.json)
            error_ = "--json belongs to get";
    }

    const std::vector<std::string_view> &args_;
    std::size_t pos_ = 0;
    Request req_;
    std::string error_;
};

} // namespace

Parsed parse(const std::vector<std::string_view> &args)
{
    return Parser(args).run();
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
