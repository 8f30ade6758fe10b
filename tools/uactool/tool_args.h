// The command line the USB audio tools share: --help, --quiet, the link
// options and one FILE, with each tool's own options parsed by the tool.
#pragma once

#include <functional>
#include <string>

#include "gadget_link.h"

struct ToolArgs {
    const char *path = nullptr;
    LinkOptions link;
    bool quiet = false;
    bool help = false;
    std::string error;
};

// A tool's own options: true when argv[*i] is one of them (its value taken,
// *i advanced past it); a bad value sets *error.
using OwnOptionParser = std::function<bool(int argc, char **argv, int *i, std::string *error)>;

// Fills *args from the command line, stopping at the first error. file_verb
// completes "only one file can be ..." ("played", "written").
void parseToolArgs(int argc, char **argv, const char *file_verb, ToolArgs *args, const OwnOptionParser &own = nullptr);

// Answers --help (usage on standard output, 0) and a bad command line (the
// error and the usage on standard error, 2); -1 when the tool goes on.
int answerUsage(const ToolArgs &args, const char *tool, const char *usage);
