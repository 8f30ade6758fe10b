/* The real kernel behind the library's system-call table. */
/* The status and control pages sit at offsets beyond 2 GiB: a 32-bit
 * off_t would turn them negative. */
#define _FILE_OFFSET_BITS 64

#include "pcm_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

static int sys_open(void *ctx, const char *path, int flags)
{
    (void)ctx;
    /* A child the caller starts must not inherit the node and keep the
     * substream busy after we close it. */
    int fd = open(path, flags | O_CLOEXEC);
    return fd < 0 ? -errno : fd;
}

static int sys_set_blocking(void *ctx, int fd)
{
    (void)ctx;
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        return -errno;
    return 0;
}

static int sys_close(void *ctx, int fd)
{
    (void)ctx;
    return close(fd) < 0 ? -errno : 0;
}

static int sys_ioctl(void *ctx, int fd, unsigned long request, void *arg)
{
    (void)ctx;
    return ioctl(fd, request, arg) < 0 ? -errno : 0;
}

static int sys_mmap(void *ctx, void **addr, size_t length, int prot, int fd, unsigned long offset)
{
    (void)ctx;
    void *p = mmap(NULL, length, prot, MAP_SHARED, fd, (off_t)offset);
    if (p == MAP_FAILED)
        return -errno;
    *addr = p;
    return 0;
}

static int sys_munmap(void *ctx, void *addr, size_t length)
{
    (void)ctx;
    return munmap(addr, length) < 0 ? -errno : 0;
}

static int sys_poll(void *ctx, int fd, short events, int timeout_ms, short *revents)
{
    (void)ctx;
    struct pollfd pfd = {.fd = fd, .events = events, .revents = 0};
    int n;
    do {
        n = poll(&pfd, 1, timeout_ms);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -errno;
    *revents = pfd.revents;
    return n;
}

static void *sys_alloc(void *ctx, size_t size)
{
    (void)ctx;
    return calloc(1, size);
}

static void sys_release(void *ctx, void *ptr)
{
    (void)ctx;
    free(ptr);
}

const struct pcm_kernel pcm_system_kernel = {
    .ctx = NULL,
    .open = sys_open,
    .set_blocking = sys_set_blocking,
    .close = sys_close,
    .ioctl = sys_ioctl,
    .mmap = sys_mmap,
    .munmap = sys_munmap,
    .poll = sys_poll,
    .alloc = sys_alloc,
    .release = sys_release,
};
