#include "tool_options.h"

namespace tool_kit {
namespace {

bool is_option(std::string_view arg)
{
    return arg.size() > 1 && arg.front() == '-';
}

// The table's option that arg names, with "=VALUE" split off where the option takes a value.
const Option *find_option(std::span<const Option> options, std::string_view arg, std::string_view *inline_value,
                          bool *has_inline_value)
{
    for (const Option &option : options) {
        if (arg == option.name || (!option.alias.empty() && arg == option.alias)) {
            *has_inline_value = false;
            return &option;
        }
        if (option.value != nullptr && arg.size() > option.name.size() && arg.starts_with(option.name) &&
            arg[option.name.size()] == '=') {
            *inline_value = arg.substr(option.name.size() + 1);
            *has_inline_value = true;
            return &option;
        }
    }
    return nullptr;
}

} // namespace

std::string needs_value(const Option &option)
{
    return std::string(option.name) + " needs " + (option.value != nullptr ? option.value : "no value");
}

ParseError parse_args(const std::vector<std::string_view> &args, std::span<const Option> options, const Take &take)
{
    bool words_only = false;
    for (std::size_t i = 0; i < args.size(); i++) {
        Arg arg{nullptr, args[i], {}};
        if (!words_only && arg.text == "--") {
            words_only = true;
            continue;
        }
        if (!words_only && is_option(arg.text)) {
            bool has_inline_value = false;
            arg.option = find_option(options, arg.text, &arg.value, &has_inline_value);
            if (arg.option == nullptr) {
                return ParseError{"unknown option '" + std::string(arg.text) + "'", args[i]};
            }
            arg.text = arg.option->name;
            if (arg.option->value != nullptr && !has_inline_value) {
                if (i + 1 >= args.size()) {
                    return ParseError{needs_value(*arg.option), {}};
                }
                arg.value = args[++i];
            }
        }
        std::string error;
        const Next next = take(arg, &error);
        if (!error.empty()) {
            return ParseError{error, {}};
        }
        if (next == Next::Stop) {
            break;
        }
    }
    return ParseError{};
}

std::vector<std::string_view> args_of(int argc, char **argv)
{
    return argc > 1 ? std::vector<std::string_view>(argv + 1, argv + argc) : std::vector<std::string_view>{};
}

} // namespace tool_kit
