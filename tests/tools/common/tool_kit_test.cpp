// The tools' common parser and messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tool_options.h"
#include "tool_report.h"

namespace {

using tool_kit::Arg;
using tool_kit::Next;
using tool_kit::Option;

const Option kOptions[] = {{"--help", "-h"}, {"--json"}, {"--device", {}, "a path"}, {"--count", {}, "a number"}};

// What the parser handed on, one entry per option or word: "--device=/dev/x", "word".
struct Seen {
    std::vector<std::string> items;
    tool_kit::ParseError error;
};

Seen parse(std::vector<std::string_view> args, const std::string &refuse = "", bool stop_at_help = false)
{
    Seen seen;
    seen.error = tool_kit::parse_args(args, kOptions, [&](const Arg &arg, std::string *error) {
        std::string item(arg.text);
        if (arg.option != nullptr && arg.option->value != nullptr) {
            // append(), not operator+: GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
            item.append("=").append(arg.value);
        }
        seen.items.push_back(item);
        if (!refuse.empty() && arg.text == refuse) {
            error->assign("refused ").append(refuse);
        }
        return stop_at_help && arg.text == "--help" ? Next::Stop : Next::Go;
    });
    return seen;
}

using Items = std::vector<std::string>;

TEST(ToolKitOptions, HandsOnOptionsAndWordsInTheirOrder)
{
    const Seen seen = parse({"set", "--device", "/dev/x", "a", "--json", "--count=12", "-h", "b"});
    EXPECT_EQ(seen.error.message, "");
    EXPECT_EQ(seen.items, (Items{"set", "--device=/dev/x", "a", "--json", "--count=12", "--help", "b"}));
}

TEST(ToolKitOptions, AValueIsTheNextWordWhateverItLooksLike)
{
    EXPECT_EQ(parse({"--count", "-1"}).items, (Items{"--count=-1"}));
    EXPECT_EQ(parse({"--device", "--json"}).items, (Items{"--device=--json"}));
    EXPECT_EQ(parse({"--device="}).items, (Items{"--device="}));
    EXPECT_EQ(parse({"--device=a=b"}).items, (Items{"--device=a=b"}));
}

TEST(ToolKitOptions, ALoneDashIsAWordAndADoubleDashEndsTheOptions)
{
    const Seen seen = parse({"-", "--", "--json", "-h"});
    EXPECT_EQ(seen.error.message, "");
    EXPECT_EQ(seen.items, (Items{"-", "--json", "-h"}));
}

TEST(ToolKitOptions, StopsAtTheFirstError)
{
    struct Case {
        std::vector<std::string_view> args;
        std::string message;
        std::string unknown;
        Items items; // what was handed on before the error
    };
    const Case cases[] = {
        {{"a", "--verbose", "--json"}, "unknown option '--verbose'", "--verbose", {"a"}},
        {{"-x"}, "unknown option '-x'", "-x", {}},
        {{"-1"}, "unknown option '-1'", "-1", {}},
        {{"--json=yes"}, "unknown option '--json=yes'", "--json=yes", {}},
        {{"--js"}, "unknown option '--js'", "--js", {}},
        {{"-hx"}, "unknown option '-hx'", "-hx", {}},
        {{"--json", "--count"}, "--count needs a number", "", {"--json"}},
        {{"--device"}, "--device needs a path", "", {}},
    };
    for (const Case &c : cases) {
        const Seen seen = parse(c.args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(seen.error.message, c.message);
        EXPECT_EQ(std::string(seen.error.unknown), c.unknown);
        EXPECT_EQ(seen.items, c.items);
    }
}

TEST(ToolKitOptions, TheToolsOwnErrorOrStopEndsTheParse)
{
    const Seen refused = parse({"a", "--json", "b"}, "--json");
    EXPECT_EQ(refused.error.message, "refused --json");
    EXPECT_EQ(refused.error.unknown, "");
    EXPECT_EQ(refused.items, (Items{"a", "--json"}));

    const Seen stopped = parse({"a", "--help", "--bogus"}, "", true);
    EXPECT_EQ(stopped.error.message, "");
    EXPECT_EQ(stopped.items, (Items{"a", "--help"}));
}

TEST(ToolKitOptions, ArgsOfLeavesOutTheProgramName)
{
    char name[] = "tool";
    char word[] = "set";
    char *argv[] = {name, word, nullptr};
    EXPECT_EQ(tool_kit::args_of(2, argv), (std::vector<std::string_view>{"set"}));
    EXPECT_TRUE(tool_kit::args_of(1, argv).empty());
    EXPECT_TRUE(tool_kit::args_of(0, argv).empty());
}

std::string contents(FILE *f)
{
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        text += static_cast<char>(c);
    }
    return text;
}

TEST(ToolKitReport, MessagesCarryTheNameAndStatusesMeanTheSameEverywhere)
{
    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    const tool_kit::Tool tool{"frob", out, err};

    tool_kit::say(tool, "warning: %s is %d", "x", 3);
    EXPECT_EQ(tool_kit::fail(tool, "cannot open %s: %s", "/dev/x", "No such file or directory"), 1);
    EXPECT_EQ(tool_kit::usage_error(tool, "unknown command 'get'"), 2);
    EXPECT_EQ(tool_kit::usage_error(tool, "no file given", "usage: frob FILE\n"), 2);
    EXPECT_EQ(tool_kit::show_usage(tool, "usage: frob FILE\n"), 0);

    EXPECT_EQ(contents(err), "frob: warning: x is 3\n"
                             "frob: cannot open /dev/x: No such file or directory\n"
                             "frob: unknown command 'get'\nTry 'frob --help'.\n"
                             "frob: no file given\nusage: frob FILE\n");
    EXPECT_EQ(contents(out), "usage: frob FILE\n");
    std::fclose(out);
    std::fclose(err);

    EXPECT_EQ(tool_kit::message_line("frob", "get: refused"), "frob: get: refused\n");
}

TEST(ToolKitReport, WhatTheToolWroteComesOutBeforeItsMessage)
{
    // Both streams into one file, as a pipe of "tool 2>&1" gets them: the
    // messages unbuffered as on stderr, the output buffered as in a pipe.
    FILE *both = std::tmpfile();
    ASSERT_NE(both, nullptr);
    std::setvbuf(both, nullptr, _IONBF, 0);
    FILE *out = fdopen(dup(fileno(both)), "w");
    ASSERT_NE(out, nullptr);
    std::setvbuf(out, nullptr, _IOFBF, 4096);
    const tool_kit::Tool tool{"frob", out, both};

    std::fputs("first line of output\n", out);
    tool_kit::say(tool, "then the message");
    std::fflush(out);
    EXPECT_EQ(contents(both), "first line of output\nfrob: then the message\n");
    std::fclose(out);
    std::fclose(both);
}

} // namespace
