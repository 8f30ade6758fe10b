#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bsp_upgrade_inner.h"
#include "last_error.h"

extern char **environ;

using bsp_upgrade::remember;
using bsp_upgrade::Status;

namespace {

// Command lines are formatted into 128-byte buffers; a longer one was cut off.
constexpr size_t kMaxCmdLen = 127;

} // namespace

extern "C" BU_S32 BU_RunCmd(const char *pcCmd)
{
    if (pcCmd == nullptr) {
        return remember(Status::failure("no command line given", nullptr, EINVAL));
    }
    if (strnlen(pcCmd, kMaxCmdLen + 1) > kMaxCmdLen) {
        return remember(Status::failure("command line longer than 127 characters", nullptr, E2BIG));
    }
    // The caller's messages must come out before the command's own.
    fflush(stdout);
    fflush(stderr);

    char sh[] = "/bin/sh";
    char dash_c[] = "-c";
    char *argv[] = {sh, dash_c, const_cast<char *>(pcCmd), nullptr};
    pid_t pid = 0;
    const int err = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ);
    if (err != 0) {
        return remember(Status::failure("start of /bin/sh", "posix_spawn", err));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return remember(bsp_upgrade::errno_failure("wait for the command", "waitpid"));
        }
    }
    if (WIFSIGNALED(status)) {
        return remember(Status::failure("command killed by signal", nullptr, 0, WTERMSIG(status)));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return remember(Status::failure("command exited with status", nullptr, 0, WEXITSTATUS(status)));
    }
    return remember(Status());
}
