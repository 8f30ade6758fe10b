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

/* Stream configuration, filled by XU_UAC_Config or XU_UAC_Config_m. */
typedef struct tagUAC_CONFIG_S {
    uint8_t card;             /* ALSA card number */
    uint8_t device;           /* PCM device number on that card */
    uint32_t flags;           /* tinyalsa open flags (PCM_IN, PCM_MMAP, PCM_NONBLOCK, ...) */
    struct pcm_config config; /* the eight-member tinyalsa 1.1 configuration */
} UAC_CONFIG_S;

/* A stream handle; callers only pass it back to the library. */
typedef struct tagUAC_HANDLE_S {
    uint32_t magic;           /* UAC_HANDLE_MAGIC | card << 8 | device */
    UAC_CONFIG_S *uac_config; /* the handle's own copy of its configuration */
    struct pcm *pcm;          /* the open stream */
} UAC_HANDLE_S;

/* One transfer: `len` bytes at `data` (an output of XU_UAC_GetFrame). */
typedef struct tagUAC_FRAME_S {
    uint32_t reserved; /* not read by the library */
    void *data;
    uint32_t len;
} UAC_FRAME_S;

/* Finds the gadget card in /proc/asound/cards; device 0, thresholds 0. */
void XU_UAC_Config(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate, uint32_t period_size,
                   uint32_t period_count, uint32_t format);
/* Keeps card and device; all three thresholds become the whole buffer. */
void XU_UAC_Config_m(UAC_CONFIG_S *uac_config, uint32_t flags, uint32_t channels, uint32_t rate, uint32_t period_size,
                     uint32_t period_count, uint32_t format);

/* Opens the stream; *handle is written only on success. 0 or -1. */
int32_t XU_UAC_Init(UAC_HANDLE_S **handle, const UAC_CONFIG_S *uac_config);
/* Closes and frees a ready stream; -1 (nothing released) when it is not ready. */
int32_t XU_UAC_Uninit(UAC_HANDLE_S *handle);
/* Ring-buffer size in frames, also the byte size a receive buffer needs; 0xFFFFFFFF for a bad handle. */
uint32_t XU_UAC_GetPcm_BufSize(UAC_HANDLE_S *handle);

/* Writes frame->len bytes as whole frames. 0 or -1. */
int32_t XU_UAC_SendFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame);
/* Reads XU_UAC_GetPcm_BufSize bytes whatever frame->len says; stores the bytes read in frame->len. */
int32_t XU_UAC_GetFrame(UAC_HANDLE_S *handle, UAC_FRAME_S *frame);
/* Memory-mapped transfers of frame->len bytes (streams opened with PCM_MMAP). 0 or -1. On a
 * PCM_NONBLOCK stream a block moves whole or not at all: after -1 none of it was queued (or
 * consumed), so the same block can be offered again. */
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
