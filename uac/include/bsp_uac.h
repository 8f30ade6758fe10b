/*
 * Board layer of libuacbridge: playback and capture streams of the USB audio
 * gadget opened in one go, the stream-status probe, and the initialisation
 * that adapts to the format the USB host selected.
 *
 * Two flavours: the global one (BSP_UacInit, ...) keeps one pair of streams
 * inside the library; the instance one (..._m, and BSP_UacInit_s) keeps them
 * in a UAC_INSTANCE_S the caller holds.
 */
#ifndef BSP_UAC_H
#define BSP_UAC_H

#include <stddef.h>
#include <stdint.h>

#include "xu_uac.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A caller-held instance of the board layer. The caller owns it, zero-fills
 * it and sets card and device before the first initialisation; the library
 * fills in the rest and owns the two handles while bInitialised is set. */
typedef struct tagUAC_INSTANCE_S {
    uint8_t u8Card;
    uint8_t u8Device;
    uint32_t bInitialised; /* non-zero while initialised */
    UAC_HANDLE_S *pPlaybackHandle;
    UAC_HANDLE_S *pCaptureHandle;
} UAC_INSTANCE_S;

/*
 * The application's frame record, passed by value to the send entry points.
 * Only pData (byte offset 8) and u32Len (byte offset 84) are read; the other
 * words belong to the application. On the 32-bit device pData is word 2 and
 * u32Len word 21 of 22 words. On a 64-bit host the pointer is 8 bytes wide
 * (bytes 8-15), so one word fewer lies between it and u32Len, which stays at
 * byte 84; the record is 88 bytes on both.
 */
typedef struct tagUAC_AUDIO_FRAME_S {
    uint32_t au32Head[2];
    void *pData;
#if UINTPTR_MAX > 0xFFFFFFFFu
    uint32_t au32Body[17];
#else
    uint32_t au32Body[18];
#endif
    uint32_t u32Len;
} UAC_AUDIO_FRAME_S;

/* Channel counts and rates (Hz) of both directions; 0 where not known. The
 * caller owns it. */
typedef struct tagUAC_STREAM_STAT_S {
    uint32_t u32PlaybackChannels;
    uint32_t u32PlaybackRate;
    uint32_t u32CaptureChannels;
    uint32_t u32CaptureRate;
} UAC_STREAM_STAT_S;

/*
 * Common to the calls below:
 * - Streams are opened with XU_UAC_Init and closed with XU_UAC_Uninit
 *   (xu_uac.h), whose messages appear too. Those of BSP_UacInit and
 *   BSP_UacInit_m: 2 channels, 48000 Hz, S16_LE, four 1024-frame periods (a
 *   period is 4096 bytes).
 * - Messages go to standard output; a failed open is reported as
 *   "XU_UAC_Init PCM_OUT failed. s32Ret =<result> " (or PCM_IN), the result
 *   in lower-case hex (ffffffff for -1).
 * - Threads: no locks. Initialisation and de-initialisation must not overlap
 *   any other call on the same instance (for the global flavour: any other
 *   global-flavour call); sending and receiving use different streams and may
 *   run on two threads.
 * - Buffers are lent for the call and never kept.
 */

/*
 * BSP_UacInit: global flavour; the streams are kept inside the library.
 * Finds the gadget card with XU_UAC_Config (reading "/proc/asound/cards" and
 * printing "uac_config->card=<N>" once per stream), opens its playback stream
 * non-blocking (PCM_OUT | PCM_NONBLOCK) and then its capture stream blocking
 * (PCM_IN), both with tinyalsa's default thresholds.
 *
 * Returns 0 when initialised now, or already before (then nothing happens; a
 * missing capture stream is not tried again); -1 when the playback stream
 * did not open (capture is then not tried, and the library stays not
 * initialised). A capture stream that does not open is reported and left
 * out: sending works, receiving returns -1. Never waits.
 */
int32_t BSP_UacInit(void);

/*
 * BSP_UacDeinit: closes the global playback stream, then the capture stream
 * if there is one. Playback frames still queued are not played.
 *
 * Returns 0 when not initialised (nothing happens); otherwise the results of
 * the closes ORed (0, or -1 when one failed; a handle that failed to close is
 * let go all the same). The library is not initialised afterwards either way.
 * Never waits.
 */
int32_t BSP_UacDeinit(void);

/*
 * BSP_UacSendFrame: writes stFrame.u32Len bytes at stFrame.pData (whole
 * frames) to the global playback stream; no other word of the record is read.
 * pData must point to u32Len bytes; they are only read.
 *
 * Returns -1 when not initialised; otherwise XU_UAC_SendFrame's result: 0,
 * also when only part fitted (the rest is not sent), and -1 when nothing
 * fitted (the ring buffer is full: the data are dropped) or the write failed.
 * Never waits: the stream is non-blocking.
 */
int32_t BSP_UacSendFrame(UAC_AUDIO_FRAME_S stFrame);

/*
 * BSP_UacGetFrame: reads one period (4096 bytes) from the global capture
 * stream into pBuf, which must hold 4096 bytes; s32Len does not limit the
 * read.
 *
 * Returns the bytes read (4096; fewer when a signal cut the wait short); 0
 * when the read failed; -1 when not initialised or without a capture stream.
 * Blocks until the period has arrived.
 */
int32_t BSP_UacGetFrame(void *pBuf, int32_t s32Len);

/*
 * BSP_UacInit_m: instance flavour of BSP_UacInit. Opens the playback stream
 * (PCM_OUT, blocking) and then the capture stream (PCM_IN) on the instance's
 * u8Card and u8Device, with XU_UAC_Config_m: no /proc read, no card message,
 * all thresholds 4096 frames, so playback starts once the whole buffer is
 * queued. The handles go into the instance.
 *
 * Returns -1 for a NULL instance; otherwise as BSP_UacInit: 0 when
 * initialised now or already (bInitialised set), -1 when playback did not
 * open. An instance that is not zero-filled before its first initialisation
 * may be taken as initialised. Never waits.
 */
int32_t BSP_UacInit_m(UAC_INSTANCE_S *pstInstance);

/*
 * BSP_UacDeinit_m: closes the instance's capture stream, then its playback
 * stream, each when present; both handles become NULL and bInitialised 0,
 * whatever the closes gave. Playback frames still queued are not played.
 *
 * Returns 0 for a NULL or not initialised instance (nothing happens);
 * otherwise the results of the closes ORed (0 or -1). Never waits.
 */
int32_t BSP_UacDeinit_m(UAC_INSTANCE_S *pstInstance);

/*
 * BSP_UacSendFrame_m: as BSP_UacSendFrame on the instance's playback stream.
 *
 * Returns -1 for a NULL or not initialised instance, or one without a
 * playback stream (BSP_UacInit_s may open none); otherwise XU_UAC_SendFrame's
 * result (0 or -1). Blocks until every frame is queued: an instance's streams
 * are blocking.
 */
int32_t BSP_UacSendFrame_m(UAC_INSTANCE_S *pstInstance, UAC_AUDIO_FRAME_S stFrame);

/*
 * BSP_UacGetFrame_m: as BSP_UacGetFrame on the instance's capture stream.
 * pBuf must hold XU_UAC_GetPcm_BufSize(pstInstance->pCaptureHandle) bytes
 * (4096 after BSP_UacInit_m; one period of the format BSP_UacInit_s opened).
 *
 * Returns the bytes read; 0 when the read failed; -1 for a NULL or not
 * initialised instance or one without a capture stream. Blocks until the
 * period has arrived.
 */
int32_t BSP_UacGetFrame_m(UAC_INSTANCE_S *pstInstance, void *pBuf, int32_t s32Len);

/*
 * BSP_UacInit_s: opens the instance's streams with the formats asked for in
 * *pstRequest, and adapts when the card refuses them. Playback (only when
 * both playback values asked for are non-zero; optional, never fails the
 * call): the request, else what the host selected (_BSP_UacGetCardStatus).
 * Capture (always): the request; else, when the status file gives no usable
 * format, 1 channel at 16000 Hz; else (the file gave one, or the fixed format
 * failed too) the host's selection as the file, read again, now gives it.
 * Every stream: blocking, 1024-frame periods, twice as many periods as
 * channels, thresholds the whole buffer. The status file
 * "/proc/asound/card<u8Card>/stream0" is read only after a refusal.
 *
 * pstInstance  as for BSP_UacInit_m.
 * pstRequest   only read; may be the same record as pstReport.
 * pstReport    receives the formats opened: the request first, then what the
 *              probes found (see _BSP_UacGetCardStatus); on success its capture
 *              fields describe the capture stream, and its playback fields the
 *              playback stream when one was opened.
 * None may be NULL.
 *
 * Returns 0 when a capture stream is open (or the instance already was
 * initialised: then nothing happens and *pstReport is not written); -1 when
 * no capture stream could be opened: the instance stays not initialised and a
 * playback stream opened on the way is closed again. Messages on standard
 * output: those of XU_UAC_Init and of the probe; "XU_UAC_Init PCM_OUT
 * failed. s32Ret =<result> " when the probed playback format is refused too;
 * "XU_UAC_Init PCM_IN Reconfig. s32Ret =<result> " after the fixed capture
 * attempt, whatever its result; "XU_UAC_Init PCM_IN failed. s32Ret =<result> "
 * when the probed capture format is refused. Never waits.
 */
int32_t BSP_UacInit_s(UAC_INSTANCE_S *pstInstance, UAC_STREAM_STAT_S *pstRequest, UAC_STREAM_STAT_S *pstReport);

/*
 * _BSP_UacGetCardStatus: the channel count and rate the USB host selected for
 * one direction, from "/proc/asound/card<s32Card>/stream0" (the number in
 * signed decimal). s32Direction 1 reads the playback section (from a line
 * containing "Playback" up to and including one containing "Capture"; again
 * at a later "Playback" line), any other value the capture section (from a
 * line containing "Capture" to the end of the file). Lines are read in pieces
 * of at most 31 characters; every piece after the section's opening line is
 * searched with _BSP_UAC_GetValue for "Channel" and then "Rate", so later
 * lines overwrite earlier values.
 *
 * pstStat  only the direction's two fields are written: first set to 0, then
 *          to what was found. Must not be NULL.
 *
 * Returns 0 when both a supported channel count and a supported rate were
 * found; -1 when the file cannot be opened ("file <path> not exist!" on
 * standard output, the record untouched) or a value is missing ("Playback
 * status not support!" or "Capture status not support!"; the field found
 * keeps its value, the other is 0). Reads /proc only; never waits.
 */
int32_t _BSP_UacGetCardStatus(int32_t s32Direction, int32_t s32Card, UAC_STREAM_STAT_S *pstStat);

/*
 * _BSP_UAC_GetValue: from the first occurrence of pKey in pLine (case
 * sensitive) to the end, every run of digits is a number: runs of more than
 * 7 digits are skipped, and only the first 8 numbers count. Each number that
 * _BSP_UAC_CheckValue accepts for pKey is stored in *pu32Value in turn, so
 * the last acceptable one wins; without one *pu32Value is left alone.
 *
 * All three pointers must be valid; pLine and pKey are NUL-terminated.
 * Returns 0 when pKey is not in the line; otherwise _BSP_UAC_CheckValue's
 * verdict (0 or -1) on the last number taken, and -1 when there is none.
 */
int32_t _BSP_UAC_GetValue(const char *pLine, uint32_t *pu32Value, const char *pKey);

/*
 * _BSP_UAC_CheckValue: 0 when u32Value is supported for pKey, else -1. For
 * "Channel": 1 or 2. For "Rate": 8000-8999, 16000-16999, 32000-32999 or
 * 48000-48999 Hz. Any other key (compared whole): 0. pKey must not be NULL.
 */
int32_t _BSP_UAC_CheckValue(uint32_t u32Value, const char *pKey);

#ifdef __cplusplus
}
#endif

#ifdef UAC_STATIC_ASSERT
UAC_STATIC_ASSERT(offsetof(UAC_INSTANCE_S, u8Device) == 1, "UAC_INSTANCE_S.u8Device");
UAC_STATIC_ASSERT(offsetof(UAC_INSTANCE_S, bInitialised) == 4, "UAC_INSTANCE_S.bInitialised");
UAC_STATIC_ASSERT(offsetof(UAC_INSTANCE_S, pPlaybackHandle) == 8, "UAC_INSTANCE_S.pPlaybackHandle");
UAC_STATIC_ASSERT(offsetof(UAC_INSTANCE_S, pCaptureHandle) == 8 + sizeof(void *), "UAC_INSTANCE_S.pCaptureHandle");
UAC_STATIC_ASSERT(sizeof(UAC_INSTANCE_S) == 8 + 2 * sizeof(void *), "UAC_INSTANCE_S size");
UAC_STATIC_ASSERT(offsetof(UAC_AUDIO_FRAME_S, pData) == 8, "UAC_AUDIO_FRAME_S.pData is word 2");
UAC_STATIC_ASSERT(offsetof(UAC_AUDIO_FRAME_S, u32Len) == 84, "UAC_AUDIO_FRAME_S.u32Len is word 21");
UAC_STATIC_ASSERT(sizeof(UAC_AUDIO_FRAME_S) == 88, "UAC_AUDIO_FRAME_S is 22 words");
UAC_STATIC_ASSERT(offsetof(UAC_STREAM_STAT_S, u32CaptureRate) == 12, "UAC_STREAM_STAT_S.u32CaptureRate");
UAC_STATIC_ASSERT(sizeof(UAC_STREAM_STAT_S) == 16, "UAC_STREAM_STAT_S size");
#endif

#endif /* BSP_UAC_H */
