// What the library prints while a piece of code runs: its messages are part
// of what the checks look at.
#pragma once

#include <cstdio>
#include <string>

class CapturedOutput {
public:
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput &) = delete;
    CapturedOutput &operator=(const CapturedOutput &) = delete;
    // Stops capturing (once) and returns everything printed meanwhile.
    std::string text();

private:
    std::FILE *file_;
    int saved_ = -1;
    std::string text_;
};
