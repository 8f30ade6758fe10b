#include "captured_output.h"

#include <unistd.h>

CapturedOutput::CapturedOutput() : file_(std::tmpfile())
{
    std::fflush(stdout);
    if (file_ != nullptr) {
        saved_ = dup(STDOUT_FILENO);
        dup2(fileno(file_), STDOUT_FILENO);
    }
}

CapturedOutput::~CapturedOutput()
{
    text();
}

std::string CapturedOutput::text()
{
    if (saved_ < 0) {
        return text_;
    }
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    std::rewind(file_);
    char chunk[512];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file_)) > 0) {
        text_.append(chunk, got);
    }
    std::fclose(file_);
    return text_;
}
