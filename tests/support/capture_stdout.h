// Captures what the code under test writes to standard output (file descriptor 1).
#pragma once

#include <cstdio>
#include <string>

class CaptureStdout {
public:
    CaptureStdout();
    ~CaptureStdout();
    CaptureStdout(const CaptureStdout &) = delete;
    CaptureStdout &operator=(const CaptureStdout &) = delete;
    // Ends the capture (once) and returns everything written meanwhile.
    std::string finish();

private:
    FILE *file_ = nullptr;
    int saved_fd_ = -1;
    std::string text_;
};
