// uacplay: sends a 16-bit PCM WAV file to the USB host through the USB audio
// gadget's playback stream, to check the link by ear on the host.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gadget_link.h"
#include "level_meter.h"
#include "tool_args.h"
#include "tool_report.h"
#include "tool_signal.h"
#include "uacplay.h"
#include "wav_file.h"

namespace {

constexpr const char *kUsage = "usage: uacplay [--card N] [--device N] [--quiet] FILE.wav\n"
                               "Sends FILE.wav to the USB host through the USB audio gadget's playback stream.\n"
                               "The file must be 16-bit PCM with 1 or 2 channels at a rate the stream runs at\n"
                               "(8000-8999, 16000-16999, 32000-32999 or 48000-48999 Hz). The stream is opened in\n"
                               "the file's format; when the host has selected another one, the file is refused.\n"
                               "  --card N     ALSA card of the gadget (default: found by its id UAC1Gadget)\n"
                               "  --device N   PCM device on that card (default 0)\n"
                               "  --quiet      no progress line on the terminal\n"
                               "  --help       show this text\n"
                               "Exit status: 0 when the whole file was sent, 1 on a failure, 2 on bad usage.\n";

constexpr uint32_t kFramesPerSend = 1024;

using Args = ToolArgs;

Args parseArgs(int argc, char **argv)
{
    Args args;
    parseToolArgs(argc, argv, "played", &args);
    return args;
}

const tool_kit::Tool kTool{"uacplay"};

int fail(const std::string &message)
{
    return tool_kit::fail(kTool, "%s", message.c_str());
}

// "" when the stream can take the file as it is.
std::string checkPlayable(const WavFormat &format)
{
    std::string why = wavCheckPcm16(format);
    if (!why.empty()) {
        return why + "; the USB stream takes 16-bit PCM with 1 or 2 channels";
    }
    if (_BSP_UAC_CheckValue(format.rate, "Rate") != 0) {
        return std::to_string(format.rate) +
               " Hz is not a rate the USB stream runs at (8000-8999, 16000-16999, 32000-32999, 48000-48999 Hz)";
    }
    return "";
}

struct PlayResult {
    uint64_t frames = 0;
    unsigned xruns = 0;
    std::string error;
};

PlayResult sendSamples(UAC_INSTANCE_S *instance, std::FILE *file, const WavInfo &info, bool show_progress)
{
    const WavFormat &format = info.format;
    std::vector<int16_t> samples(static_cast<std::size_t>(kFramesPerSend) * format.channels);
    // The ring buffer holds 1024 frames × twice the channel count.
    XrunWatch watch(static_cast<double>(kFramesPerSend * 2u * format.channels) / format.rate);
    const double total_seconds = static_cast<double>(info.data_bytes / format.block_align) / format.rate;
    PlayResult result;
    uint64_t left = info.data_bytes;
    while (left > 0 && !stopRequested()) {
        const std::size_t want = left < samples.size() * 2 ? static_cast<std::size_t>(left) : samples.size() * 2;
        const std::size_t got = std::fread(samples.data(), 1, want, file);
        if (got != want) {
            result.error = "reading the file failed after " + std::to_string(info.data_bytes - left) + " bytes";
            break;
        }
        UAC_AUDIO_FRAME_S frame{};
        frame.pData = samples.data();
        frame.u32Len = static_cast<uint32_t>(got);
        if (BSP_UacSendFrame_m(instance, frame) != 0) {
            // Ctrl-C ends a blocked send with a failure: that is an
            // interruption, reported as one, not a broken link.
            if (!stopRequested()) {
                result.error = "sending to the USB host failed (the host stopped the stream or the link is gone)";
            }
            break;
        }
        watch.transferred();
        left -= got;
        result.frames += got / format.block_align;
        if (show_progress) {
            const double seconds = static_cast<double>(result.frames) / format.rate;
            std::fprintf(stderr, "\r%s",
                         statusLine(seconds, total_seconds, peakDbfs(samples.data(), got / 2), watch.count()).c_str());
        }
    }
    if (show_progress) {
        std::fputc('\n', stderr);
    }
    result.xruns = watch.count();
    return result;
}

// Closing a stream drops what is still queued in its ring buffer. A whole ring
// of silence behind the file makes the file's last frames play before that.
void pushOutWithSilence(UAC_INSTANCE_S *instance, const WavFormat &format)
{
    const uint32_t ring_frames = XU_UAC_GetPcm_BufSize(instance->pPlaybackHandle);
    if (ring_frames == 0xFFFFFFFFu) {
        return;
    }
    std::vector<int16_t> silence(static_cast<std::size_t>(kFramesPerSend) * format.channels, 0);
    UAC_AUDIO_FRAME_S frame{};
    frame.pData = silence.data();
    frame.u32Len = static_cast<uint32_t>(silence.size() * sizeof(int16_t));
    for (uint32_t queued = 0; queued < ring_frames && !stopRequested(); queued += kFramesPerSend) {
        if (BSP_UacSendFrame_m(instance, frame) != 0) {
            return;
        }
    }
}

int play(const Args &args, std::FILE *file, const WavInfo &info)
{
    const WavFormat &format = info.format;
    UAC_STREAM_STAT_S request{format.channels, format.rate, format.channels, format.rate};
    UAC_STREAM_STAT_S report{};
    UAC_INSTANCE_S instance{};
    std::string error = openLink(args.link, request, &instance, &report);
    if (!error.empty()) {
        return fail(error);
    }
    if (instance.pPlaybackHandle == nullptr) {
        error = "the USB host accepted no playback stream in " + formatText(format.channels, format.rate);
    } else if (report.u32PlaybackChannels != format.channels || report.u32PlaybackRate != format.rate) {
        error = std::string(args.path) + " is " + formatText(format.channels, format.rate) +
                " but the USB host selected " + formatText(report.u32PlaybackChannels, report.u32PlaybackRate) +
                "; convert the file first";
    }
    if (!error.empty()) {
        BSP_UacDeinit_m(&instance);
        return fail(error);
    }
    installStopHandler();
    const PlayResult result = sendSamples(&instance, file, info, !args.quiet && isatty(STDERR_FILENO));
    if (result.error.empty() && !stopRequested()) {
        pushOutWithSilence(&instance, format);
    }
    BSP_UacDeinit_m(&instance);
    std::printf("uacplay: sent %.1f s (%llu frames, %s), %u xrun(s) suspected%s\n",
                static_cast<double>(result.frames) / format.rate, static_cast<unsigned long long>(result.frames),
                formatText(format.channels, format.rate).c_str(), result.xruns, stopRequested() ? ", interrupted" : "");
    if (!result.error.empty()) {
        return fail(result.error);
    }
    return stopRequested() ? tool_kit::kExitFailure : tool_kit::kExitOk;
}

} // namespace

int uacplay_main(int argc, char **argv)
{
    const Args args = parseArgs(argc, argv);
    if (const int status = answerUsage(args, "uacplay", kUsage); status >= 0) {
        return status;
    }
    std::FILE *file = std::fopen(args.path, "rb");
    if (file == nullptr) {
        return fail(std::string("cannot open ") + args.path + ": " + std::strerror(errno));
    }
    WavInfo info;
    std::string problem = wavReadHeader(file, &info);
    if (problem.empty()) {
        problem = checkPlayable(info.format);
    }
    int status = tool_kit::kExitFailure;
    if (!problem.empty()) {
        fail(std::string(args.path) + ": " + problem);
    } else {
        if (info.truncated || info.unsized) {
            tool_kit::say(kTool, "warning: %s %s; sending the %llu bytes present", args.path,
                          info.truncated ? "ends before its data chunk says" : "gives no data size",
                          static_cast<unsigned long long>(info.data_bytes));
        }
        status = play(args, file, info);
    }
    std::fclose(file);
    return status;
}
