// Ctrl-C (SIGINT) and SIGTERM end a tool's transfer loop cleanly, so the
// streams are closed and a recording is completed.
#pragma once

#include <csignal>

// Installs the handler; stopRequested() turns true once a signal came.
void installStopHandler();
bool stopRequested();
