#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bsp_upgrade_inner.h"

extern char **environ;

namespace {

// Command lines are formatted into 128-byte buffers; a longer one was cut off.
constexpr size_t kMaxCmdLen = 127;

} // namespace

extern "C" BU_S32 BU_RunCmd(const char *pcCmd)
{
    if (pcCmd == nullptr || strnlen(pcCmd, kMaxCmdLen + 1) > kMaxCmdLen) {
        return -1;
    }
    // The caller's messages must come out before the command's own.
    fflush(stdout);
    fflush(stderr);

    char sh[] = "/bin/sh";
    char dash_c[] = "-c";
    char *argv[] = {sh, dash_c, const_cast<char *>(pcCmd), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 0 : -1;
}
