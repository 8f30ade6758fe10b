#include "uac_test_support.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

constexpr int kSkipStatus = 77;

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

std::filesystem::path make_fixture(const ProcFiles &files)
{
    char templ[] = "/tmp/uac-proc-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        throw std::runtime_error("cannot make a fixture directory");
    }
    const std::filesystem::path root(templ);
    for (const auto &[name, content] : files) {
        const std::filesystem::path path = root / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    return root;
}

// In the child: hide the real /proc behind the fixture, privately.
[[noreturn]] void run_child(const std::filesystem::path &fixture, int out, const std::function<std::string()> &body)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(fixture.c_str(), "/proc", nullptr, MS_BIND, nullptr) != 0) {
        write_all(out, std::string("private mount namespace unavailable: ") + std::strerror(errno));
        _exit(kSkipStatus);
    }
    int status = 0;
    try {
        write_all(out, body());
    } catch (const std::exception &e) {
        write_all(out, std::string("exception: ") + e.what());
        status = 1;
    }
    std::fflush(nullptr);
    _exit(status);
}

} // namespace

ProcRun run_with_proc(const ProcFiles &files, const std::function<std::string()> &body)
{
    const std::filesystem::path fixture = make_fixture(files);
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
        run_child(fixture, pipe_fds[1], body);
    }
    close(pipe_fds[1]);
    std::string output = read_all(pipe_fds[0]);
    close(pipe_fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::remove_all(fixture);
    const bool exited = WIFEXITED(status);
    const bool skipped = exited && WEXITSTATUS(status) == kSkipStatus;
    if (!exited) {
        output += " [child killed by signal " + std::to_string(WTERMSIG(status)) + "]";
    }
    return ProcRun{skipped, output, exited && WEXITSTATUS(status) == 0};
}
