/*
 * Stream layer of libuacbridge: one tinyalsa PCM stream on the USB Audio
 * Class 1 gadget sound card behind an opaque, tagged handle.
 *
 * Every record below crosses the library boundary; its layout is fixed and
 * checked at compile time for both the 32-bit ARM device and a 64-bit host.
 */
#ifndef XU_UAC_H
#define XU_UAC_H

#include <stddef.h>
#include <stdint.h>

#include <tinyalsa/asoundlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/* High half of a live handle's tag word; the low half holds card and device. */
#define UAC_HANDLE_MAGIC 0xEFDA0000u
#define UAC_HANDLE_MAGIC_MASK 0xFFFF0000u

/* Stream configuration, filled by XU_UAC_Config or XU_UAC_Config_m. The
 * caller owns it (usually on its stack); XU_UAC_Init copies it. */
typedef struct tagUAC_CONFIG_S {
    uint8_t card;             /* ALSA card number */
    uint8_t device;           /* PCM device number on that card */
    uint32_t flags;           /* tinyalsa open flags (PCM_IN, PCM_MMAP, PCM_NONBLOCK, ...) */
    struct pcm_config config; /* the eight-member tinyalsa 1.1 configuration */
} UAC_CONFIG_S;

/* A stream handle. The library allocates it in XU_UAC_Init and frees it in
 * XU_UAC_Uninit; callers only pass it back to the library. */
typedef struct tagUAC_HANDLE_S {
    uint32_t magic;           /* UAC_HANDLE_MAGIC | card << 8 | device */
    UAC_CONFIG_S *uac_config; /* the handle's own copy of its configuration */
    struct pcm *pcm;          /* the open stream */
} UAC_HANDLE_S;

/* One transfer: `len` bytes at `data`. The caller owns the record and the
 * bytes; the library only uses them during the call. */
typedef struct tagUAC_FRAME_S {
    uint32_t reserved; /* not read by the library */
    void *data;
    uint32_t len; /* bytes; an output of XU_UAC_GetFrame */
} UAC_FRAME_S;

/*
 * Common to the calls below:
 * - Messages: a handle that fails the tag word test (null included) is
 *   reported on standard error as "<call>: magic: <tag & 0xffff0000> efda0000"
 *   (lower-case hex, "0" for null or a zero tag) and refused with -1
 *   (0xFFFFFFFF from XU_UAC_GetPcm_BufSize) before anything else; a freed
 *   handle is not detected. Other failures of a transfer print nothing;
 *   tinyalsa's text for them is pcm_get_error(handle->pcm).
 * - Threads: no locks and no state beyond the handles. One handle must not be
 *   used by two threads at once, nor closed while another thread transfers on
 *   it; a playback and a capture handle may be used on two threads.
 * - Blocking: only the transfers wait, and only on a stream opened without
 *   PCM_NONBLOCK; the configuration calls read /proc at most, and opening
 *   and closing never wait (see XU_UAC_Init).
 */

/*
 * XU_UAC_Config: fills the whole record for a stream of the USB audio gadget
 * card. Looks the card up afresh in "/proc/asound/cards", read in pieces of
 * up to 255 characters: the first piece containing "[UAC1Gadget" (an id that
 * merely begins so matches too) gives
 * the decimal number it starts with (blanks skipped; 0 when there is none),
 * its low 8 bits, printed as "uac_config->card=<N>" on standard output;
 * without such a line, or when the file cannot be read, card 0 and no
 * message. device 0; flags and the five configuration values as given
 * (format stored as is, not checked); the three thresholds 0, so tinyalsa
 * picks its defaults when the stream opens.
 *
 * uac_config must not be NULL. No result.
 */
void XU_UAC_Config(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate, uint32_t period_size,
                   uint32_t period_count, uint32_t format);

/*
 * XU_UAC_Config_m: as XU_UAC_Config without the lookup and without any file
 * access: card and device stay as the caller set them. All three thresholds
 * become period_size * period_count (the whole buffer, a plain 32-bit
 * product), so a playback stream starts only once its buffer is full.
 *
 * uac_config must not be NULL. No result.
 */
void XU_UAC_Config_m(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate, uint32_t period_size,
                     uint32_t period_count, uint32_t format);

/*
 * XU_UAC_Init: opens the stream the record describes (tinyalsa pcm_open with
 * its card, device, flags and configuration) and hands out a new handle with
 * its own copy of the record. Nothing of the configuration is checked here;
 * tinyalsa and the kernel refuse what they cannot do.
 *
 * handle      out: receives the new handle, only on success (whatever it held
 *             before is overwritten, not closed). The caller owns the handle
 *             until it gives it back with XU_UAC_Uninit.
 * uac_config  only read; the caller keeps it.
 * Neither may be NULL.
 *
 * Returns 0, or -1 when the handle could not be allocated ("XU_UAC_Init
 * Failed: No mem" on standard error) or the stream did not open
 * ("XU_UAC_Init: <tinyalsa's text> " on standard output, e.g. "cannot open
 * device '/dev/snd/pcmC1D0p': Device or resource busy"); a failure leaves
 * nothing allocated or open.
 *
 * Blocking: never waits; with this platform's tinyalsa a stream another
 * process holds fails at once (EBUSY), whatever the flags.
 */
int32_t XU_UAC_Init(UAC_HANDLE_S **handle, const UAC_CONFIG_S *uac_config);

/*
 * XU_UAC_Uninit: closes the handle's stream and frees the handle and its copy
 * of the configuration. Playback frames still queued are not played (the
 * kernel drops them on close; nothing is drained), so send silence first to
 * let the last frames out.
 *
 * Returns 0; -1 for a handle that fails the tag word test (reported, see
 * above) and, without a message, for one whose stream is not ready; -1
 * releases nothing. After 0 the handle is freed and must not be used again.
 * Never waits.
 */
int32_t XU_UAC_Uninit(UAC_HANDLE_S *handle);

/*
 * XU_UAC_GetPcm_BufSize: the stream's ring-buffer size in frames (period size
 * * period count as in effect: 4096 for four 1024-frame periods). The same
 * number, taken as bytes, is what one XU_UAC_GetFrame may deliver: a receive
 * buffer of that many bytes is always large enough.
 *
 * Returns 0xFFFFFFFF for a handle that fails the tag word test (reported).
 */
uint32_t XU_UAC_GetPcm_BufSize(UAC_HANDLE_S *handle);

/*
 * XU_UAC_SendFrame: writes frame->len bytes from frame->data to a playback
 * stream (tinyalsa pcm_writei) as whole frames; a trailing part of a frame is
 * not sent. frame->len is not changed.
 *
 * Returns 0 when tinyalsa reported no error, even when it took only part of
 * the frames (a signal, or a non-blocking stream with room for part: the
 * rest is not sent); -1 for a NULL frame, a handle that fails the test, a
 * capture stream, or a write the kernel refused (a non-blocking stream
 * without room, the host gone, ...).
 *
 * Blocking: waits until every frame is queued, unless the stream was opened
 * with PCM_NONBLOCK.
 */
int32_t XU_UAC_SendFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame);

/*
 * XU_UAC_GetFrame: reads from a capture stream (tinyalsa pcm_readi) a fixed
 * amount whatever frame->len says: XU_UAC_GetPcm_BufSize bytes' worth of
 * whole frames, one period with the library's own configurations.
 * frame->data must hold XU_UAC_GetPcm_BufSize(handle) bytes.
 *
 * Returns 0 and stores the bytes read in frame->len; -1, frame->len unchanged,
 * for a NULL frame, a handle that fails the test, a playback stream, or a read
 * the kernel refused.
 *
 * Blocking: waits until the whole amount has arrived (starting the stream
 * when it is not running), unless the stream was opened with PCM_NONBLOCK:
 * then it takes what is there and fails when nothing is.
 */
int32_t XU_UAC_GetFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame);

/*
 * XU_UAC_MmapSendFrame, XU_UAC_MmapGetFrame: move frame->len bytes (whole
 * frames) through the mapped ring buffer of a stream opened with PCM_MMAP
 * (tinyalsa pcm_mmap_write to playback, pcm_mmap_read from a PCM_IN stream).
 * frame->len is not changed.
 *
 * Return 0 once all of it moved; -1 for a NULL frame, a handle that fails the
 * test, a stream of the wrong kind, or a failed transfer (xrun, the host
 * gone, no room or data for 10 s).
 *
 * Blocking: wait for room or data as long as it takes, unless the stream was
 * opened with PCM_NONBLOCK: then a block moves whole or not at all, and after
 * -1 none of it was queued (or consumed), so the same block can be offered
 * again.
 */
int32_t XU_UAC_MmapSendFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame);
int32_t XU_UAC_MmapGetFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame);

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L)
#ifndef __cplusplus
#define UAC_STATIC_ASSERT _Static_assert
#else
#define UAC_STATIC_ASSERT static_assert
#endif
/* The fixed layout, on the 32-bit device and on a 64-bit host alike. */
UAC_STATIC_ASSERT(sizeof(struct pcm_config) == 32, "pcm_config is the eight-member 1.1 form");
UAC_STATIC_ASSERT(offsetof(struct pcm_config, format) == 16, "pcm_config.format");
UAC_STATIC_ASSERT(offsetof(UAC_CONFIG_S, device) == 1, "UAC_CONFIG_S.device");
UAC_STATIC_ASSERT(offsetof(UAC_CONFIG_S, flags) == 4, "UAC_CONFIG_S.flags");
UAC_STATIC_ASSERT(offsetof(UAC_CONFIG_S, config) == 8, "UAC_CONFIG_S.config");
UAC_STATIC_ASSERT(sizeof(UAC_CONFIG_S) == 40, "UAC_CONFIG_S size");
UAC_STATIC_ASSERT(offsetof(UAC_HANDLE_S, uac_config) == sizeof(void *), "UAC_HANDLE_S.uac_config");
UAC_STATIC_ASSERT(offsetof(UAC_HANDLE_S, pcm) == 2 * sizeof(void *), "UAC_HANDLE_S.pcm");
UAC_STATIC_ASSERT(sizeof(UAC_HANDLE_S) == 3 * sizeof(void *), "UAC_HANDLE_S size");
UAC_STATIC_ASSERT(offsetof(UAC_FRAME_S, data) == sizeof(void *), "UAC_FRAME_S.data");
UAC_STATIC_ASSERT(offsetof(UAC_FRAME_S, len) == 2 * sizeof(void *), "UAC_FRAME_S.len");
UAC_STATIC_ASSERT(sizeof(UAC_FRAME_S) == 3 * sizeof(void *), "UAC_FRAME_S size");
#endif

#endif /* XU_UAC_H */
