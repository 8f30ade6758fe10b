#include "capture_output.h"

#include <stdexcept>

namespace {

// The stdio stream that writes to fd, flushed before the descriptor changes.
std::FILE *stream_of(int fd)
{
    return fd == STDERR_FILENO ? stderr : stdout;
}

} // namespace

OutputFile::OutputFile() : file_(std::tmpfile())
{
    if (file_ == nullptr) {
        throw std::runtime_error("cannot make a file to capture output in");
    }
}

OutputFile::~OutputFile()
{
    finish();
}

std::string OutputFile::finish()
{
    if (file_ == nullptr) {
        return text_;
    }
    std::rewind(file_);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), file_)) > 0) {
        text_.append(buf, n);
    }
    std::fclose(file_);
    file_ = nullptr;
    return text_;
}

CaptureFd::CaptureFd(int fd) : fd_(fd)
{
    std::fflush(stream_of(fd));
    saved_ = dup(fd);
    if (saved_ >= 0 && dup2(fileno(file_.stream()), fd) < 0) {
        close(saved_);
        saved_ = -1;
    }
    if (saved_ < 0) {
        throw std::runtime_error("cannot capture file descriptor " + std::to_string(fd));
    }
}

CaptureFd::~CaptureFd()
{
    finish();
}

std::string CaptureFd::finish()
{
    if (saved_ >= 0) {
        std::fflush(stream_of(fd_));
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    return file_.finish();
}
