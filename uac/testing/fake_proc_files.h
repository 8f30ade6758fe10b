// A /proc held in memory for the library's tests, served through the table
// of /proc reads (proc_files.h) in place of the real files: no root, no
// mount namespace and no sound card needed. Built into the test-support
// library uac_fake_proc, never into libuacbridge.
//
//     FakeProcFiles proc;
//     proc.set("/proc/asound/cards", " 1 [UAC1Gadget     ]: UAC1_Gadget\n");
//     ScopedProcFiles use(proc.table());
//     XU_UAC_Config(...);   // reads the fake card list
#pragma once

#include <map>
#include <string>
#include <vector>

#include "proc_files.h"

class FakeProcFiles {
public:
    // One open the library made, in call order.
    struct Open {
        std::string path;
        std::string mode;
        bool found; // the file existed
    };

    FakeProcFiles();
    FakeProcFiles(const FakeProcFiles &) = delete;
    FakeProcFiles &operator=(const FakeProcFiles &) = delete;

    // The file at the absolute path (as the library names it, e.g.
    // "/proc/asound/card1/stream0") holds exactly content, NUL bytes
    // included; a later open reads the new content.
    void set(const std::string &path, const std::string &content);
    // The file no longer exists: opening it fails with ENOENT.
    void remove(const std::string &path);

    // The table to install; it points at this object.
    const UacProcFiles &table() const { return table_; }
    const std::vector<Open> &opens() const { return opens_; }

private:
    // A stream over a copy of the content, or null with errno: ENOENT for a
    // file that does not exist, EACCES for a mode that would write.
    static std::FILE *open(void *ctx, const char *path, const char *mode);

    UacProcFiles table_;
    std::map<std::string, std::string> files_;
    std::vector<Open> opens_;
};

// Installs a table for the life of a scope and puts the previous one back.
class ScopedProcFiles {
public:
    explicit ScopedProcFiles(const UacProcFiles &files) : previous_(uacInstallProcFiles(&files)) {}
    ~ScopedProcFiles() { uacInstallProcFiles(previous_); }
    ScopedProcFiles(const ScopedProcFiles &) = delete;
    ScopedProcFiles &operator=(const ScopedProcFiles &) = delete;

private:
    const UacProcFiles *previous_;
};
