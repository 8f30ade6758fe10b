// The /proc files libuacbridge reads, the ALSA card list and the cards'
// stream-status files, are opened through this table, as tinyalsa's system
// calls go through its kernel table (platform/tinyalsa/src/pcm_internal.h):
// the library opens them with std::fopen, and a test installs a fake
// (fake_proc_files.h, beside this file) that needs neither root nor a sound
// card. What is done with an open file does not change: the same stdio reads.
#pragma once

#include <cstdio>

struct UacProcFiles {
    void *ctx;
    // Opens the file at path for reading, as std::fopen(path, mode) does: a
    // stream the caller closes with std::fclose, or null (errno set) when
    // the file cannot be opened.
    std::FILE *(*open)(void *ctx, const char *path, const char *mode);
};

// The real /proc: std::fopen.
extern const UacProcFiles kUacSystemProcFiles;

// The table the library's reads go through: the system's unless another
// was installed.
const UacProcFiles &uacProcFiles();

// Opens a /proc file through the table in use.
std::FILE *uacOpenProcFile(const char *path, const char *mode);

// Installs a table (null: the system's again) and returns the one that was
// in use. For tests: the table must outlive its use, and is installed before
// the calls that read /proc run, not while they run.
const UacProcFiles *uacInstallProcFiles(const UacProcFiles *files);
