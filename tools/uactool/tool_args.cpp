#include "tool_args.h"

#include <cstdlib>

#include "tool_report.h"

namespace {

constexpr const char *kLinkNumber = "a number from 0 to 255";

const tool_kit::Option kShared[] = {
    {"--help", "-h"},
    {"--quiet"},
    {"--card", {}, kLinkNumber},
    {"--device", {}, kLinkNumber},
};

bool parseNumber(const std::string &text, int max, int *value)
{
    char *end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || number < 0 || number > max) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

// --card N / --device N.
std::string takeLinkOption(const tool_kit::Arg &arg, LinkOptions *link)
{
    int *target = arg.text == "--card" ? &link->card : &link->device;
    if (!parseNumber(std::string(arg.value), 255, target)) {
        return tool_kit::needs_value(*arg.option);
    }
    return "";
}

std::string takeShared(const tool_kit::Arg &arg, ToolArgs *args)
{
    if (arg.text == "--help") {
        args->help = true;
    } else if (arg.text == "--quiet") {
        args->quiet = true;
    } else {
        return takeLinkOption(arg, &args->link);
    }
    return "";
}

} // namespace

void parseToolArgs(int argc, char **argv, const char *file_verb, ToolArgs *args, const OwnOptions &own)
{
    // The shared options come first in the table, the tool's own after them.
    std::vector<tool_kit::Option> options(std::begin(kShared), std::end(kShared));
    options.insert(options.end(), own.options.begin(), own.options.end());
    const tool_kit::ParseError parsed =
        tool_kit::parse_args(tool_kit::args_of(argc, argv), options, [&](const tool_kit::Arg &arg, std::string *error) {
            if (arg.option == nullptr) {
                if (args->path != nullptr) {
                    *error = std::string("only one file can be ") + file_verb;
                } else {
                    args->path = arg.text.data(); // a whole word of argv
                }
            } else if (arg.option < options.data() + std::size(kShared)) {
                *error = takeShared(arg, args);
            } else {
                *error = own.take(arg);
            }
            return tool_kit::Next::Go;
        });
    args->error = parsed.unknown.empty() ? parsed.message : "unknown option " + std::string(parsed.unknown);
    if (args->error.empty() && !args->help && args->path == nullptr) {
        args->error = "no file given";
    }
}

int answerUsage(const ToolArgs &args, const char *tool, const char *usage)
{
    const tool_kit::Tool kit{tool};
    if (args.help) {
        return tool_kit::show_usage(kit, usage);
    }
    if (!args.error.empty()) {
        return tool_kit::usage_error(kit, args.error, usage);
    }
    return -1;
}
