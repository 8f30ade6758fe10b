#include "status.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bsp_upgrade {

size_t Status::describe(char *buf, size_t len) const
{
    if (len == 0) {
        return 0;
    }
    buf[0] = '\0';
    if (ok()) {
        return 0;
    }
    char index[16] = "";
    if (index_ != kNoIndex) {
        snprintf(index, sizeof(index), " %d", index_);
    }
    char call[40] = "";
    if (call_ != nullptr) {
        snprintf(call, sizeof(call), " (%s)", call_);
    }
    int n = 0;
    if (err_ != 0) {
        char text[64];
        // The GNU strerror_r returns its text, the POSIX one fills the buffer.
        const char *msg = strerror_r(err_, text, sizeof(text));
        n = snprintf(buf, len, "%s%s%s: %s", what_, index, call, msg);
    } else {
        n = snprintf(buf, len, "%s%s%s", what_, index, call);
    }
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < len ? static_cast<size_t>(n) : len - 1;
}

Status errno_failure(const char *what, const char *call, int index)
{
    return Status::failure(what, call, errno != 0 ? errno : EIO, index);
}

} // namespace bsp_upgrade
