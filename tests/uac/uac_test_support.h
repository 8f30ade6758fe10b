// Helpers of the libuacbridge tests: capturing a file descriptor, and
// running code against a fake /proc.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake_proc_files.h"

// Captures what is written to one file descriptor (1 or 2) meanwhile.
class CaptureFd {
public:
    explicit CaptureFd(int fd);
    ~CaptureFd();
    CaptureFd(const CaptureFd &) = delete;
    CaptureFd &operator=(const CaptureFd &) = delete;
    std::string finish();

private:
    int fd_;
    int saved_ = -1;
    std::FILE *file_ = nullptr;
    std::string text_;
};

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
