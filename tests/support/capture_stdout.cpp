#include "capture_stdout.h"

#include <unistd.h>

#include <stdexcept>

CaptureStdout::CaptureStdout()
{
    fflush(stdout);
    file_ = tmpfile();
    saved_fd_ = dup(STDOUT_FILENO);
    if (file_ == nullptr || saved_fd_ < 0 || dup2(fileno(file_), STDOUT_FILENO) < 0) {
        throw std::runtime_error("cannot capture standard output");
    }
}

CaptureStdout::~CaptureStdout()
{
    finish();
}

std::string CaptureStdout::finish()
{
    if (saved_fd_ < 0) {
        return text_;
    }
    fflush(stdout);
    dup2(saved_fd_, STDOUT_FILENO);
    close(saved_fd_);
    saved_fd_ = -1;
    rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), file_)) > 0) {
        text_.append(buf, n);
    }
    fclose(file_);
    return text_;
}
