#include "store_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <ctime>

namespace bsp_upgrade {
namespace {

long long now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

Status lock_store(int fd, LockMode mode, int timeout_ms)
{
    const int op = (mode == LockMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const long long deadline = now_ms() + timeout_ms;
    // Stores take milliseconds: polling every millisecond costs nothing and,
    // unlike a blocking flock under an alarm, needs no signal handler. The
    // lock is not fair: a program storing back to back can hold off a reader,
    // which then fails at the deadline instead of waiting for ever.
    for (;;) {
        if (flock(fd, op) == 0) {
            return Status();
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return errno_failure("locking of the record store", "flock");
        }
        if (now_ms() >= deadline) {
            return Status::failure("record store busy: no lock within the time allowed", "flock", 0);
        }
        const timespec pause{0, 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

} // namespace bsp_upgrade
