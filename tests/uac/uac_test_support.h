// Helpers of the libuacbridge tests: running code against a fake /proc, and
// (testkit's capture_output.h) capturing a file descriptor.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "capture_output.h"
#include "fake_proc_files.h"

// Files of the fake /proc, relative to /proc: {"asound/cards", "..."}.
using ProcFiles = std::vector<std::pair<std::string, std::string>>;

struct ProcRun {
    std::string output; // what body returned, or why it failed
    bool ok;            // body ran and returned normally
};

// Runs body in a child process (so the library's global state starts afresh)
// with the library's /proc reads served by a fake /proc holding exactly
// `files`, and hands back what body returned. The library asks for its real
// fixed paths; body may change the files through the fake it is given.
ProcRun run_with_proc(const ProcFiles &files, const std::function<std::string(FakeProcFiles &)> &body);
ProcRun run_with_proc(const ProcFiles &files, const std::function<std::string()> &body);
