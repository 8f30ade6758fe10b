/*
 * Board layer of libuacbridge: playback and capture streams of the USB audio
 * gadget opened in one go, the stream-status probe, and the initialisation
 * that adapts to the format the USB host selected.
 */
#ifndef BSP_UAC_H
#define BSP_UAC_H

#include <stddef.h>
#include <stdint.h>

#include "xu_uac.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A caller-held instance: zero-filled, card and device set, before the first
 * initialisation. */
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

/* Channel counts and rates (Hz) of both directions; 0 where not known. */
typedef struct tagUAC_STREAM_STAT_S {
    uint32_t u32PlaybackChannels;
    uint32_t u32PlaybackRate;
    uint32_t u32CaptureChannels;
    uint32_t u32CaptureRate;
} UAC_STREAM_STAT_S;

/* Global flavour: the gadget card found by its id, streams kept inside the
 * library. Playback is non-blocking; 2 channels, 48000 Hz, 4 x 1024 frames. */
int32_t BSP_UacInit(void);
int32_t BSP_UacDeinit(void);
int32_t BSP_UacSendFrame(UAC_AUDIO_FRAME_S stFrame);
/* Reads one fixed block (4096 bytes) whatever s32Len says; the bytes read,
 * 0 when the read failed, -1 without a capture stream. */
int32_t BSP_UacGetFrame(void *pBuf, int32_t s32Len);

/* Instance flavour: card and device from the instance, blocking playback. */
int32_t BSP_UacInit_m(UAC_INSTANCE_S *pstInstance);
int32_t BSP_UacDeinit_m(UAC_INSTANCE_S *pstInstance);
int32_t BSP_UacSendFrame_m(UAC_INSTANCE_S *pstInstance, UAC_AUDIO_FRAME_S stFrame);
/* The buffer must hold XU_UAC_GetPcm_BufSize(pCaptureHandle) bytes. */
int32_t BSP_UacGetFrame_m(UAC_INSTANCE_S *pstInstance, void *pBuf, int32_t s32Len);

/* Opens the instance with the requested formats, or with what the host
 * selected when the card refuses them; the formats opened go to pstReport.
 * 0 when a capture stream is open (or the instance already was), else -1. */
int32_t BSP_UacInit_s(UAC_INSTANCE_S *pstInstance, UAC_STREAM_STAT_S *pstRequest, UAC_STREAM_STAT_S *pstReport);

/* Reads "/proc/asound/card<N>/stream0" for one direction (1: playback, any
 * other value: capture) into that direction's two fields. 0 when both a
 * supported channel count and a supported rate were found. */
int32_t _BSP_UacGetCardStatus(int32_t s32Direction, int32_t s32Card, UAC_STREAM_STAT_S *pstStat);
/* Stores into *pu32Value the last supported number after pKey in pLine. */
int32_t _BSP_UAC_GetValue(const char *pLine, uint32_t *pu32Value, const char *pKey);
/* 0 when the value is supported for "Channel" (1, 2) or "Rate" (8, 16, 32 or
 * 48 kHz bands, 1000 Hz wide), and for any other key; else -1. */
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
