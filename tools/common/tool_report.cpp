#include "tool_report.h"

#include <cstdarg>

namespace tool_kit {
namespace {

void vsay(const Tool &tool, const char *format, va_list args)
{
    if (tool.out != tool.err) {
        std::fflush(tool.out);
    }
    std::fprintf(tool.err, "%s: ", tool.name);
    std::vfprintf(tool.err, format, args);
    std::fputc('\n', tool.err);
}

} // namespace

void say(const Tool &tool, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsay(tool, format, args);
    va_end(args);
}

int fail(const Tool &tool, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsay(tool, format, args);
    va_end(args);
    return kExitFailure;
}

int usage_error(const Tool &tool, std::string_view message, const char *hint)
{
    say(tool, "%.*s", static_cast<int>(message.size()), message.data());
    if (hint != nullptr) {
        std::fputs(hint, tool.err);
    } else {
        std::fprintf(tool.err, "Try '%s --help'.\n", tool.name);
    }
    return kExitUsage;
}

int show_usage(const Tool &tool, const char *usage)
{
    std::fputs(usage, tool.out);
    return kExitOk;
}

} // namespace tool_kit
