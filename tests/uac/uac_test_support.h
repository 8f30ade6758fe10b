// Helpers of the libuacbridge tests: running code with a fixture directory in
// place of /proc, and (testkit's capture_output.h) capturing a file descriptor.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "capture_output.h"

// Files of the fixture, relative to /proc: {"asound/cards", "..."}.
using ProcFiles = std::vector<std::pair<std::string, std::string>>;

struct ProcRun {
    bool skipped;       // the mount namespace could not be set up
    std::string output; // what body returned, or why it was skipped or failed
    bool ok;            // body ran and returned normally
};

// Runs body in a child process inside a private mount namespace whose /proc
// is a directory holding exactly `files`, and hands back what body returned.
// The library reads its real fixed paths; the test never redirects them.
// Needs root (CAP_SYS_ADMIN).
ProcRun run_with_proc(const ProcFiles &files, const std::function<std::string()> &body);
