// The lab's audio checks of libuacbridge and tinyalsa on a real kernel, run
// inside the virtual board; see --help.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "checks.h"
#include "host_side.h"

namespace {

constexpr const char *kUsage = "usage: lab_uac COMMAND [ARGS]\n"
                               "Checks of libuacbridge on the lab's sound cards; prints PASS/FAIL/FIGURE lines,\n"
                               "exits 0 when every check passed.\n"
                               "  stream SECONDS      BSP_UacInit, 48 kHz stereo both ways with device 1 of the\n"
                               "                      loopback card UAC1Gadget as the host, BSP_UacDeinit\n"
                               "  adapt LABEL HOST_CH HOST_RATE REQ_CH REQ_RATE RESULT CH RATE SECONDS\n"
                               "                      BSP_UacInit_s while the host holds a format; the result\n"
                               "                      and capture format expected; SECONDS > 0 streams both ways\n"
                               "  convert SECONDS     fallback capture at 16000 Hz mono converted to 48000 Hz\n"
                               "  vanish DRIVER_DIR DEVICE\n"
                               "                      unbind the loopback card under open streams, bind it again\n"
                               "  busy                a second opener of held streams fails at once; the holder\n"
                               "                      streams on\n"
                               "  suspend             the streams across a system suspend (pm_test devices)\n"
                               "  gadget [HOST_ID]    the real UAC1 gadget and its host-side card (LabAudio)\n"
                               "  makewav FILE SECONDS  a 2 ch 48000 Hz WAV file of the frame pattern\n"
                               "  hostplay FILE [strict]\n"
                               "                      play a WAV file as the host (device 1), writing blocking;\n"
                               "                      a write that fails is offered again, unless strict (then\n"
                               "                      the first failure ends the play, as in aplay)\n"
                               "  hostrec FILE SECONDS  record the host's side (device 1) to a WAV file\n"
                               "  wavcompare SENT RECEIVED LABEL\n"
                               "                      SENT's samples must all arrive in RECEIVED, in order\n"
                               "  stalls SECONDS      until stopped or SECONDS pass: how often and how long the\n"
                               "                      guest did not run for 100 ms or more\n"
                               "  clock ID CH RATE PERIOD\n"
                               "                      play silence on card ID to clock the loopback card\n"
                               "  wrap PATH           192 kHz stereo from device 0 to device 1 across the kernel's\n"
                               "                      pointer boundary (2^30 frames with a 32-bit long), every\n"
                               "                      frame around the wrap checked; PATH: rw or mmap (our\n"
                               "                      tinyalsa), xu-rw or xu-mmap (XU_UAC_*)\n";

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "clock" && args.size() == 4) {
        return runClock(args[0], std::stoul(args[1]), std::stoul(args[2]), std::stoul(args[3]));
    }
    // Whatever hangs, the run ends; a stream of N seconds gets 2 N more. The
    // wrap streams for some 5600 s of the guest's clock (which the lab's
    // emulator runs faster than real time there).
    double stream_seconds = command == "stream" && !args.empty() ? std::stod(args[0]) : 0;
    if (command == "wrap") {
        stream_seconds = 6000;
    }
    alarm(600 + static_cast<unsigned>(2 * stream_seconds));
    if (command == "stream") {
        return checkStream(args);
    }
    if (command == "adapt") {
        return checkAdapt(args);
    }
    if (command == "convert") {
        return checkConvert(args);
    }
    if (command == "vanish") {
        return checkVanish(args);
    }
    if (command == "busy") {
        return checkBusy(args);
    }
    if (command == "suspend") {
        return checkSuspend(args);
    }
    if (command == "gadget") {
        return checkGadget(args);
    }
    if (command == "makewav" && !args.empty()) {
        return makeWav(args);
    }
    if (command == "hostplay" && (args.size() == 1 || (args.size() == 2 && args[1] == "strict"))) {
        return hostPlay(args);
    }
    if (command == "hostrec" && args.size() == 2) {
        return hostRecord(args);
    }
    if (command == "wavcompare" && args.size() == 3) {
        return compareWav(args);
    }
    if (command == "wrap" && args.size() == 1) {
        return checkWrap(args);
    }
    if (command == "stalls" && args.size() == 1) {
        return probeStalls(args);
    }
    std::fprintf(stderr, "lab_uac: unknown command %s\n%s", command.c_str(), kUsage);
    return 2;
}
