#include "uac_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

void write_all(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string read_all(int fd)
{
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        }
    }
    return text;
}

// In the child: the library reads the fake /proc while body runs.
[[noreturn]] void run_child(const ProcFiles &files, int out, const std::function<std::string(FakeProcFiles &)> &body)
{
    int status = 0;
    try {
        FakeProcFiles proc;
        for (const auto &[name, content] : files) {
            proc.set("/proc/" + name, content);
        }
        ScopedProcFiles use(proc.table());
        write_all(out, body(proc));
    } catch (const std::exception &e) {
        write_all(out, std::string("exception: ") + e.what());
        status = 1;
    }
    std::fflush(nullptr);
    _exit(status);
}

} // namespace

ProcRun run_with_proc(const ProcFiles &files, const std::function<std::string(FakeProcFiles &)> &body)
{
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        close(pipe_fds[0]);
        run_child(files, pipe_fds[1], body);
    }
    close(pipe_fds[1]);
    std::string output = read_all(pipe_fds[0]);
    close(pipe_fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const bool exited = WIFEXITED(status);
    if (!exited) {
        output += " [child killed by signal " + std::to_string(WTERMSIG(status)) + "]";
    }
    return ProcRun{output, exited && WEXITSTATUS(status) == 0};
}

ProcRun run_with_proc(const ProcFiles &files, const std::function<std::string()> &body)
{
    return run_with_proc(files, [&body](FakeProcFiles &) { return body(); });
}
