// The real /proc behind the library's table of /proc reads.
#include "proc_files.h"

#include <atomic>

namespace {

std::FILE *systemOpen(void *, const char *path, const char *mode)
{
    return std::fopen(path, mode);
}

} // namespace

const UacProcFiles kUacSystemProcFiles{nullptr, systemOpen};

namespace {

// Read on every card lookup and probe, written only by tests.
constinit std::atomic<const UacProcFiles *> g_procFiles{&kUacSystemProcFiles};

} // namespace

const UacProcFiles &uacProcFiles()
{
    return *g_procFiles.load(std::memory_order_acquire);
}

const UacProcFiles *uacInstallProcFiles(const UacProcFiles *files)
{
    return g_procFiles.exchange(files != nullptr ? files : &kUacSystemProcFiles, std::memory_order_acq_rel);
}

std::FILE *uacOpenProcFile(const char *path, const char *mode)
{
    const UacProcFiles &files = uacProcFiles();
    return files.open(files.ctx, path, mode);
}
