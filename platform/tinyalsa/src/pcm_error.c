/* Error texts kept in the handle, as pcm_get_error returns them. */
/* The POSIX strerror_r, which fills the caller's buffer. */
#define _POSIX_C_SOURCE 200809L

#include "pcm_internal.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

void pcm_set_error(struct pcm *pcm, int err, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(pcm->error, sizeof(pcm->error), fmt, ap);
    va_end(ap);
    size_t used = n < 0 ? 0 : (size_t)n;
    if (used >= sizeof(pcm->error))
        used = sizeof(pcm->error) - 1;
    pcm->error[used] = '\0';

    /* Callers pass the negated errno the kernel table returns; the text
     * always names the positive one ("Invalid argument", not "Unknown
     * error -22"). */
    if (err < 0)
        err = -err;
    char reason[64];
    if (strerror_r(err, reason, sizeof(reason)) != 0)
        snprintf(reason, sizeof(reason), "Unknown error %d", err);
    snprintf(pcm->error + used, sizeof(pcm->error) - used, ": %s", reason);
}
