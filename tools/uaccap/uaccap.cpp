// uaccap: records what the USB host plays into the USB audio gadget's
// capture stream to a 16-bit PCM WAV file, to check the link.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gadget_link.h"
#include "level_meter.h"
#include "tool_args.h"
#include "tool_report.h"
#include "tool_signal.h"
#include "uaccap.h"
#include "wav_file.h"

namespace {

constexpr const char *kUsage =
    "usage: uaccap [--seconds N] [--channels N] [--rate HZ] [--card N] [--device N] [--quiet] FILE.wav\n"
    "Records what the USB host plays into the USB audio gadget to FILE.wav (16-bit PCM).\n"
    "The capture stream opens in the requested format (default 2 channels, 48000 Hz); when\n"
    "the host selected another one it opens in that, and the file gets the format opened.\n"
    "  --seconds N  stop after N seconds (default: record until Ctrl-C)\n"
    "  --channels N requested channel count, 1 or 2\n"
    "  --rate HZ    requested rate in Hz\n"
    "  --card N     ALSA card of the gadget (default: found by its id UAC1Gadget)\n"
    "  --device N   PCM device on that card (default 0)\n"
    "  --quiet      no progress line on the terminal\n"
    "  --help       show this text\n"
    "The file is completed also when the recording is interrupted or fails.\n"
    "Exit status: 0 when the recording ran as asked, 1 on a failure, 2 on bad usage.\n";

const tool_kit::Tool kTool{"uaccap"};

// Consecutive failed reads after which the host is taken to be gone.
constexpr int kMaxFailedReads = 3;

struct Args : ToolArgs {
    double seconds = 0; // 0: until interrupted
    uint32_t channels = 2;
    uint32_t rate = 48000;
};

bool parsePositive(const char *text, double *value)
{
    char *end = nullptr;
    const double number = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(number) || number <= 0 || number > 1e7) {
        return false;
    }
    *value = number;
    return true;
}

constexpr const char *kPositive = "a positive number";

// --seconds, --channels and --rate with their values.
std::string takeCaptureOption(const tool_kit::Arg &arg, Args *args)
{
    double value = 0;
    if (!parsePositive(std::string(arg.value).c_str(), &value)) {
        return tool_kit::needs_value(*arg.option);
    }
    if (arg.text == "--seconds") {
        args->seconds = value;
    } else if (arg.text == "--channels") {
        args->channels = static_cast<uint32_t>(value);
        if (value != 1 && value != 2) {
            return "--channels takes 1 or 2";
        }
    } else {
        args->rate = static_cast<uint32_t>(value);
        if (value != std::floor(value) || _BSP_UAC_CheckValue(args->rate, "Rate") != 0) {
            return "--rate takes a rate of 8000-8999, 16000-16999, 32000-32999 or 48000-48999 Hz";
        }
    }
    return "";
}

Args parseArgs(int argc, char **argv)
{
    Args args;
    const OwnOptions own{{{"--seconds", {}, kPositive}, {"--channels", {}, kPositive}, {"--rate", {}, kPositive}},
                         [&args](const tool_kit::Arg &arg) { return takeCaptureOption(arg, &args); }};
    parseToolArgs(argc, argv, "written", &args, own);
    return args;
}

int fail(const std::string &message)
{
    return tool_kit::fail(kTool, "%s", message.c_str());
}

struct Recording {
    uint64_t frames = 0;
    unsigned xruns = 0;
    std::string error;
};

Recording record(UAC_INSTANCE_S *instance, const UAC_STREAM_STAT_S &format, const Args &args, WavWriter *wav)
{
    const uint32_t channels = format.u32CaptureChannels;
    const uint32_t rate = format.u32CaptureRate;
    const uint32_t frame_bytes = 2 * channels;
    // One read delivers up to the stream's buffer size in bytes.
    const uint32_t read_bytes = XU_UAC_GetPcm_BufSize(instance->pCaptureHandle);
    std::vector<int16_t> samples(read_bytes / 2 + 1);
    // The ring buffer holds as many frames as one read delivers bytes.
    XrunWatch watch(static_cast<double>(read_bytes) / rate);
    const uint64_t wanted_frames = args.seconds > 0 ? static_cast<uint64_t>(std::llround(args.seconds * rate)) : 0;
    const bool show_progress = !args.quiet && isatty(STDERR_FILENO);
    Recording result;
    int failed_reads = 0;
    while (!stopRequested() && (wanted_frames == 0 || result.frames < wanted_frames)) {
        const int32_t got = BSP_UacGetFrame_m(instance, samples.data(), static_cast<int32_t>(read_bytes));
        if (got <= 0) {
            if (++failed_reads >= kMaxFailedReads) {
                result.error = "reading from the USB host failed " + std::to_string(failed_reads) + " times in a row";
                break;
            }
            continue;
        }
        failed_reads = 0;
        watch.transferred();
        uint64_t frames = static_cast<uint64_t>(got) / frame_bytes;
        if (wanted_frames != 0 && result.frames + frames > wanted_frames) {
            frames = wanted_frames - result.frames;
        }
        if (!wav->write(samples.data(), static_cast<std::size_t>(frames * frame_bytes))) {
            result.error = std::string("writing ") + args.path + " failed (disk full, or the file reached 4 GiB)";
            break;
        }
        result.frames += frames;
        if (show_progress) {
            std::fprintf(stderr, "\r%s",
                         statusLine(static_cast<double>(result.frames) / rate, args.seconds > 0 ? args.seconds : -1,
                                    peakDbfs(samples.data(), static_cast<std::size_t>(frames) * channels),
                                    watch.count())
                             .c_str());
        }
    }
    if (show_progress) {
        std::fputc('\n', stderr);
    }
    result.xruns = watch.count();
    return result;
}

int capture(const Args &args)
{
    UAC_STREAM_STAT_S request{0, 0, args.channels, args.rate};
    UAC_STREAM_STAT_S report{};
    UAC_INSTANCE_S instance{};
    const std::string error = openLink(args.link, request, &instance, &report);
    if (!error.empty()) {
        return fail(error);
    }
    if (report.u32CaptureChannels != args.channels || report.u32CaptureRate != args.rate) {
        tool_kit::say(kTool, "the USB host selected %s; recording in that format",
                      formatText(report.u32CaptureChannels, report.u32CaptureRate).c_str());
    }
    WavWriter wav;
    const std::string open_error =
        wav.open(args.path, static_cast<uint16_t>(report.u32CaptureChannels), report.u32CaptureRate);
    if (!open_error.empty()) {
        BSP_UacDeinit_m(&instance);
        return fail(open_error);
    }
    installStopHandler();
    const Recording result = record(&instance, report, args, &wav);
    BSP_UacDeinit_m(&instance);
    const std::string finish_error = wav.finish();
    std::printf("uaccap: wrote %.1f s (%llu frames, %s) to %s, %u xrun(s) suspected%s\n",
                static_cast<double>(result.frames) / report.u32CaptureRate,
                static_cast<unsigned long long>(result.frames),
                formatText(report.u32CaptureChannels, report.u32CaptureRate).c_str(), args.path, result.xruns,
                stopRequested() ? ", interrupted" : "");
    if (!result.error.empty()) {
        return fail(result.error);
    }
    if (!finish_error.empty()) {
        return fail(std::string(args.path) + ": " + finish_error);
    }
    // Interrupting a recording without --seconds is the normal way to end it.
    return stopRequested() && args.seconds > 0 ? tool_kit::kExitFailure : tool_kit::kExitOk;
}

} // namespace

int uaccap_main(int argc, char **argv)
{
    const Args args = parseArgs(argc, argv);
    if (const int status = answerUsage(args, "uaccap", kUsage); status >= 0) {
        return status;
    }
    return capture(args);
}
