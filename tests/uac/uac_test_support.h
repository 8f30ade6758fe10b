// Helpers of the libuacbridge tests: capturing a file descriptor, and
// running code with a fixture directory in place of /proc.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
