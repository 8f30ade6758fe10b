// The three ways of moving one period that the per-period benchmarks
// compare: our tinyalsa called directly, libuacbridge's stream layer and its
// board layer, all on the same open stream and the same buffer.
#pragma once

#include <cstdint>
#include <string>

#include "bsp_uac.h"

enum class Path { direct, stream, board };

// "direct", "stream" or "board"; false for any other name.
inline bool pathFromName(const std::string &name, Path *path)
{
    if (name == "direct" || name == "stream" || name == "board") {
        *path = name == "direct" ? Path::direct : name == "stream" ? Path::stream : Path::board;
        return true;
    }
    return false;
}

// "send" or "receive"; false for any other word.
inline bool directionFromName(const std::string &name, bool *capture)
{
    *capture = name == "receive";
    return name == "send" || name == "receive";
}

// One open stream as each path sees it. A caller streaming from one buffer
// fills its frame record once, so the record is filled here, not per period.
struct PeriodTarget {
    UAC_HANDLE_S *handle = nullptr;
    UAC_INSTANCE_S instance{};
    UAC_AUDIO_FRAME_S frame{};
    unsigned frames = 0;

    void attach(UAC_HANDLE_S *stream, bool capture, void *buffer, unsigned period_frames, uint32_t period_bytes)
    {
        handle = stream;
        instance.bInitialised = 1;
        (capture ? instance.pCaptureHandle : instance.pPlaybackHandle) = stream;
        frame.pData = buffer;
        frame.u32Len = period_bytes;
        frames = period_frames;
    }
};

// One period by the path asked for: tinyalsa's frame count, or the library's
// status (the board layer's receive: the bytes read).
inline int transferPeriod(PeriodTarget &t, bool capture, Path path)
{
    if (path == Path::direct) {
        return capture ? pcm_readi(t.handle->pcm, t.frame.pData, t.frames)
                       : pcm_writei(t.handle->pcm, t.frame.pData, t.frames);
    }
    if (path == Path::stream) {
        UAC_FRAME_S frame{0, t.frame.pData, t.frame.u32Len};
        return capture ? XU_UAC_GetFrame(t.handle, &frame) : XU_UAC_SendFrame(t.handle, &frame);
    }
    return capture ? BSP_UacGetFrame_m(&t.instance, t.frame.pData, static_cast<int32_t>(t.frame.u32Len))
                   : BSP_UacSendFrame_m(&t.instance, t.frame);
}
