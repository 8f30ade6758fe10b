#include "tool_args.h"

#include <cstdio>
#include <cstring>

void parseToolArgs(int argc, char **argv, const char *file_verb, ToolArgs *args, const OwnOptionParser &own)
{
    for (int i = 1; i < argc && args->error.empty(); i++) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            args->help = true;
        } else if (std::strcmp(arg, "--quiet") == 0) {
            args->quiet = true;
        } else if ((own && own(argc, argv, &i, &args->error)) ||
                   parseLinkOption(argc, argv, &i, &args->link, &args->error)) {
            continue;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            args->error = std::string("unknown option ") + arg;
        } else if (args->path != nullptr) {
            args->error = std::string("only one file can be ") + file_verb;
        } else {
            args->path = arg;
        }
    }
    if (args->error.empty() && !args->help && args->path == nullptr) {
        args->error = "no file given";
    }
}

int answerUsage(const ToolArgs &args, const char *tool, const char *usage)
{
    if (args.help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (!args.error.empty()) {
        std::fprintf(stderr, "%s: %s\n%s", tool, args.error.c_str(), usage);
        return 2;
    }
    return -1;
}
