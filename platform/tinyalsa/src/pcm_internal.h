/*
 * Inside of the PCM handle, shared by the units of the library and by its
 * unit tests. Nothing declared here leaves the shared library.
 */
#ifndef TINYALSA_PCM_INTERNAL_H
#define TINYALSA_PCM_INTERNAL_H

/* sound/asound.h uses the ioctl number macros without including them. */
#include <sys/ioctl.h>

#include <sound/asound.h>
#include <stddef.h>
#include <tinyalsa/asoundlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Every system call the library makes goes through this table, so the
 * decisions above it can be exercised against a scripted kernel. Calls
 * return 0 (or a descriptor, or a count of ready descriptors) on success
 * and the negated errno on failure; none of them touches errno.
 */
struct pcm_kernel {
    void *ctx;
    int (*open)(void *ctx, const char *path, int flags);
    /* Clears O_NONBLOCK on an open descriptor. */
    int (*set_blocking)(void *ctx, int fd);
    int (*close)(void *ctx, int fd);
    int (*ioctl)(void *ctx, int fd, unsigned long request, void *arg);
    int (*mmap)(void *ctx, void **addr, size_t length, int prot, int fd, unsigned long offset);
    int (*munmap)(void *ctx, void *addr, size_t length);
    /* revents receives the returned events; the result is 0 on timeout. */
    int (*poll)(void *ctx, int fd, short events, int timeout_ms, short *revents);
    void *(*alloc)(void *ctx, size_t size);
    void (*release)(void *ctx, void *ptr);
};

/* The real system: open(2), fcntl(2), ioctl(2), mmap(2), poll(2), calloc(3). */
extern const struct pcm_kernel pcm_system_kernel;

#define PCM_ERROR_MAX 128

struct pcm {
    const struct pcm_kernel *kernel;
    int fd;
    unsigned int flags;
    /* Bytes per frame, fixed at open for the transfers' conversions; 0 when
     * no configuration was given. */
    unsigned int frame_bytes;
    /* Hardware parameters are in effect: the buffer size is known. */
    int configured;
    /* The stream was prepared (and, for capture, started) by a transfer. */
    int running;
    /* Mapped streams: a suspend was reported; the next call prepares. */
    int needs_prepare;
    struct pcm_config config;
    unsigned int buffer_size;
    snd_pcm_uframes_t boundary;
    unsigned int xruns;

    /* Memory-mapped transfers. */
    void *area;
    size_t area_bytes;
    /* Either the kernel's status/control pages or the members of sync. */
    volatile struct snd_pcm_mmap_status *status;
    volatile struct snd_pcm_mmap_control *control;
    int pages_mapped;
    struct snd_pcm_sync_ptr sync;

    char error[PCM_ERROR_MAX];
};

/* pcm_open over a given kernel. */
struct pcm *pcm_open_on(const struct pcm_kernel *kernel, unsigned int card, unsigned int device, unsigned int flags,
                        const struct pcm_config *config);

/* Error texts: "<what>: <strerror(err)>" with err the positive errno. */
void pcm_set_error(struct pcm *pcm, int err, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

/* Kernel format code for a 1.1 format; -1 for values outside the enum. */
int pcm_format_to_kernel(enum pcm_format format);

/* Parameters, in the order pcm_open applies them; 0 or the negated errno. */
int pcm_apply_hw_params(struct pcm *pcm);
int pcm_apply_sw_params(struct pcm *pcm);
/* Zero thresholds of the configuration replaced by the defaults. */
void pcm_default_thresholds(struct pcm_config *config, unsigned int buffer_size, int capture);
/* Largest multiple of buffer_size the pointers may reach before wrapping. */
snd_pcm_uframes_t pcm_boundary(snd_pcm_uframes_t buffer_size);

/* Ring buffer and status/control mapping for PCM_MMAP streams. */
int pcm_map(struct pcm *pcm);
void pcm_unmap(struct pcm *pcm);
/*
 * Exchanges pointers with the kernel: SNDRV_PCM_SYNC_PTR_HWSYNC refreshes
 * hw_ptr; without SNDRV_PCM_SYNC_PTR_APPL our appl_ptr is published, with
 * it the kernel's is read back (likewise avail_min). With the pages mapped
 * only the hardware sync needs a call.
 */
int pcm_sync(struct pcm *pcm, unsigned int sync_flags);
/* PREPARE, then the kernel's (reset) pointers read back. */
int pcm_prepare(struct pcm *pcm);
/* RESUME of a suspended stream (-ENOSYS when the driver cannot), then the
 * pointers read back. */
int pcm_resume(struct pcm *pcm);
/* Frames free for playback or ready for capture at the last sync. */
snd_pcm_sframes_t pcm_mmap_avail(const struct pcm *pcm);

#ifdef __cplusplus
}
#endif

#endif /* TINYALSA_PCM_INTERNAL_H */
