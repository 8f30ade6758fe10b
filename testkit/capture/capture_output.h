// Output capture for tests and check programs: what code writes to a file
// descriptor or a stdio stream, read back as text. The one place this is
// written; the unit tests, the benchmarks and the lab's checks all use it.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

// A temporary file to hand to code that writes to a FILE *, and what was
// written to it.
class OutputFile {
public:
    OutputFile();
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    std::FILE *stream() const { return file_; }
    // Closes the file (once) and returns everything written to it.
    std::string finish();

private:
    std::FILE *file_;
    std::string text_;
};

// Captures what is written to one file descriptor (1 or 2) meanwhile.
class CaptureFd {
public:
    explicit CaptureFd(int fd = STDOUT_FILENO);
    ~CaptureFd();
    CaptureFd(const CaptureFd &) = delete;
    CaptureFd &operator=(const CaptureFd &) = delete;
    // Ends the capture (once) and returns everything written meanwhile.
    std::string finish();

private:
    int fd_;
    int saved_ = -1;
    OutputFile file_;
};

// Standard output, the common case.
class CaptureStdout : public CaptureFd {
public:
    CaptureStdout() : CaptureFd(STDOUT_FILENO) {}
};
