// What every command-line tool of the platform says the same way, in the
// manner of mtd-utils' common.h: each message starts with the program's name,
// and an exit status means the same thing in every tool.
//
// Plain C stdio underneath, so that the partition guides can report through
// it too without taking in more of the C++ runtime.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tool_kit {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the work could not be done; the message says why
constexpr int kExitUsage = 2;   // the command line was wrong; nothing was done

// A tool's name and where its output and its messages go (tests pass files).
struct Tool {
    const char *name;
    FILE *out = stdout;
    FILE *err = stderr;
};

// "name: message\n" on the tool's error stream. The output stream is flushed
// first, so that the two keep their order when both go into one pipe.
void say(const Tool &tool, const char *format, ...) __attribute__((format(printf, 2, 3)));

// say(), then kExitFailure.
int fail(const Tool &tool, const char *format, ...) __attribute__((format(printf, 2, 3)));

// "name: message\n" and then the hint on the error stream; kExitUsage. The
// hint is "Try 'name --help'.\n" unless the tool gives its own.
int usage_error(const Tool &tool, std::string_view message, const char *hint = nullptr);

// The usage text on the output stream; kExitOk.
int show_usage(const Tool &tool, const char *usage);

// "name: message\n", for tools that hand their messages back as text.
inline std::string message_line(const char *name, std::string_view message)
{
    std::string line(name);
    line.append(": ").append(message).append("\n");
    return line;
}

} // namespace tool_kit
