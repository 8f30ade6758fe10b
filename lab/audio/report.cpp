#include "report.h"

#include <cstdio>

namespace {
int g_failed = 0;
}

void reportCheck(bool ok, const std::string &what, const std::string &why)
{
    if (ok) {
        std::printf("PASS: %s\n", what.c_str());
    } else {
        std::printf("FAIL: %s -- %s\n", what.c_str(), why.empty() ? "failed" : why.c_str());
        g_failed++;
    }
    std::fflush(stdout);
}

void reportFigure(const std::string &text)
{
    std::printf("FIGURE %s\n", text.c_str());
    std::fflush(stdout);
}

int reportStatus()
{
    return g_failed == 0 ? 0 : 1;
}
