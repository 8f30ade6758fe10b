// The global flavour of the board layer: one pair of streams on the gadget
// card found by its id, kept in state private to the library.
#include "board_internal.h"

namespace {

struct FacadeState {
    uint32_t initialised;
    UAC_HANDLE_S *playback;
    UAC_HANDLE_S *capture;
};

FacadeState g_facade{};

void configureByCardId(UAC_CONFIG_S *record, uint32_t flags)
{
    XU_UAC_Config(record, flags, kBoardChannels, kBoardRate, kBoardPeriodSize, kBoardPeriodCount, kBoardFormat);
}

} // namespace

extern "C" int32_t BSP_UacInit(void)
{
    if (g_facade.initialised != 0) {
        return 0;
    }
    UAC_CONFIG_S record{};
    // Non-blocking playback: a send into a full ring buffer fails at once.
    return bspOpenBoardStreams(BoardSlots{&g_facade.initialised, &g_facade.playback, &g_facade.capture}, &record,
                               configureByCardId, PCM_OUT | PCM_NONBLOCK);
}

extern "C" int32_t BSP_UacDeinit(void)
{
    if (g_facade.initialised == 0) {
        return 0;
    }
    int32_t result = XU_UAC_Uninit(g_facade.playback);
    if (g_facade.capture != nullptr) {
        result |= XU_UAC_Uninit(g_facade.capture);
    }
    g_facade = FacadeState{};
    return result;
}

extern "C" int32_t BSP_UacSendFrame(UAC_AUDIO_FRAME_S stFrame)
{
    if (g_facade.initialised == 0 || g_facade.playback == nullptr) {
        return -1;
    }
    return bspSendOn(g_facade.playback, stFrame);
}

extern "C" int32_t BSP_UacGetFrame(void *pBuf, int32_t s32Len)
{
    if (g_facade.initialised == 0 || g_facade.capture == nullptr) {
        return -1;
    }
    return bspReceiveOn(g_facade.capture, pBuf, s32Len);
}
