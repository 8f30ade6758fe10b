// The one command-line parser of the tools: long options from a table, each
// a flag or taking a value ("--device PATH" or "--device=PATH"), a short
// alias where the tool has one ("-h"), and the other words in order. Options
// and words may come in any order; "--" ends the options. A value is the next
// word whatever it looks like, so "--duty -1" reaches the tool's own check.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tool_kit {

struct Option {
    std::string_view name;       // "--device"
    std::string_view alias = {}; // "-h", or none
    // What the value is, for "--device needs a value"; null for a flag.
    const char *value = nullptr;
};

// One option or word of the command line.
struct Arg {
    const Option *option = nullptr; // null for a word
    std::string_view text;          // the word, or the option's name
    std::string_view value;         // the option's value
};

enum class Next { Go, Stop };

// Sees each option and word in order. Sets *error to end the parse with it, or
// returns Stop to end it without one (--help).
using Take = std::function<Next(const Arg &arg, std::string *error)>;

struct ParseError {
    std::string message;      // "" when the command line was taken
    std::string_view unknown; // the option not in the table, when that was the error
};

// Parses args (without the program's name) against the table. The errors of
// its own are "unknown option 'X'" and "--name needs VALUE".
ParseError parse_args(const std::vector<std::string_view> &args, std::span<const Option> options, const Take &take);

// argv[1..argc) as the parser takes it.
std::vector<std::string_view> args_of(int argc, char **argv);

// "--card needs a number from 0 to 255": what a tool says when the value of
// option is missing, and what it may say when the value is wrong.
std::string needs_value(const Option &option);

} // namespace tool_kit
