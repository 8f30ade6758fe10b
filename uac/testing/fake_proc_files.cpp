#include "fake_proc_files.h"

#include <cerrno>
#include <cstring>

FakeProcFiles::FakeProcFiles() : table_{this, &FakeProcFiles::open} {}

void FakeProcFiles::set(const std::string &path, const std::string &content)
{
    files_[path] = content;
}

void FakeProcFiles::remove(const std::string &path)
{
    files_.erase(path);
}

std::FILE *FakeProcFiles::open(void *ctx, const char *path, const char *mode)
{
    auto *self = static_cast<FakeProcFiles *>(ctx);
    const auto file = self->files_.find(path);
    const bool found = file != self->files_.end();
    self->opens_.push_back(Open{path, mode, found});
    if (std::strpbrk(mode, "wa+") != nullptr) {
        errno = EACCES;
        return nullptr;
    }
    if (!found) {
        errno = ENOENT;
        return nullptr;
    }
    // A real file with the content, read back with the same stdio calls as
    // the real one: fgets sees the same pieces, NUL bytes included.
    std::FILE *stream = std::tmpfile();
    if (stream == nullptr) {
        return nullptr;
    }
    const std::string &content = file->second;
    if (std::fwrite(content.data(), 1, content.size(), stream) != content.size() || std::fflush(stream) != 0) {
        std::fclose(stream);
        errno = EIO;
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}
