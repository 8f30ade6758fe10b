// The bootinfo command: shows and changes the boot-information record.
#pragma once

#include <cstdio>

#include "tool_report.h"

// Exit statuses, those of every tool.
constexpr int BOOTINFO_OK = tool_kit::kExitOk;
constexpr int BOOTINFO_FAILED = tool_kit::kExitFailure; // the record could not be read or stored
constexpr int BOOTINFO_USAGE = tool_kit::kExitUsage;    // unknown command, option, slot or value

// Runs one command line; results go to `out`, messages to `err`.
int bootinfo_run(int argc, char **argv, FILE *out, FILE *err);

// The tool's entry point: bootinfo_run on standard output and standard error.
int bootinfo_main(int argc, char **argv);
