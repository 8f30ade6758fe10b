// The command line the USB audio tools share: --help, --quiet, the link
// options and one FILE, with each tool's own options, all through the tool
// kit's parser.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "gadget_link.h"
#include "tool_options.h"

struct ToolArgs {
    const char *path = nullptr;
    LinkOptions link;
    bool quiet = false;
    bool help = false;
    std::string error;
};

// A tool's own options: their table entries, and what each value means
// (take returns "" or what is wrong with it).
struct OwnOptions {
    std::vector<tool_kit::Option> options;
    std::function<std::string(const tool_kit::Arg &arg)> take;
};

// Fills *args from the command line, stopping at the first error. file_verb
// completes "only one file can be ..." ("played", "written").
void parseToolArgs(int argc, char **argv, const char *file_verb, ToolArgs *args, const OwnOptions &own = {});

// Answers --help (usage on standard output, 0) and a bad command line (the
// error and the usage on standard error, 2); -1 when the tool goes on.
int answerUsage(const ToolArgs &args, const char *tool, const char *usage);
