// Result lines of the lab's audio programs, read by the guest's scripts:
// "PASS: what", "FAIL: what -- why", "FIGURE text" (as alsa_kernel_check).
#pragma once

#include <string>

void reportCheck(bool ok, const std::string &what, const std::string &why);
void reportFigure(const std::string &text);
// 0 when every check so far passed, else 1.
int reportStatus();
