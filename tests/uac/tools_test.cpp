// uacplay and uaccap end to end: the tools' own code over libuacbridge and
// the fake tinyalsa, with the gadget at card 1 in a fake /proc.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "fake_tinyalsa.h"
#include "uac_test_support.h"
#include "uaccap.h"
#include "uacplay.h"
#include "wav_file.h"

using fake_tinyalsa::Op;
using fake_tinyalsa::state;

namespace {

const char *const kCards = " 1 [UAC1Gadget     ]: UAC1_Gadget\n";

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun run_tool(int (*tool_main)(int, char **), std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    CaptureFd out(1);
    CaptureFd err(2);
    const int status = tool_main(static_cast<int>(args.size()), argv.data());
    return ToolRun{status, out.finish(), err.finish()};
}

std::string wav_bytes(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t frames)
{
    const std::string path = "/tmp/uac-tools-test.wav";
    {
        WavWriter writer;
        writer.open(path.c_str(), channels, rate);
        std::vector<int16_t> samples(static_cast<std::size_t>(frames) * channels, 1000);
        writer.write(samples.data(), samples.size() * 2);
        writer.finish();
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    if (bits != 16) { // patch the format chunk's sample size and frame size
        const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
        bytes[32] = static_cast<char>(align);
        bytes[34] = static_cast<char>(bits);
    }
    return bytes;
}

// Runs body in a child with the card list and, when given, card 1's status file.
std::string in_fixture(const std::string &status_file, const std::function<std::string()> &body)
{
    ProcFiles files{{"asound/cards", kCards}};
    if (!status_file.empty()) {
        files.emplace_back("asound/card1/stream0", status_file);
    }
    const ProcRun run = run_with_proc(files, [&] {
        fake_tinyalsa::reset();
        return body();
    });
    return run.output;
}

std::string write_input(const std::string &bytes)
{
    const std::string path = "/tmp/uac-tools-in-" + std::to_string(getpid()) + ".wav";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

std::string writes_text()
{
    std::string out;
    for (std::size_t i = 0; i < state().transfer_count && i < fake_tinyalsa::kMaxTransfers; i++) {
        out += std::string(state().transfers[i].op == Op::writei ? "w" : "r") +
               std::to_string(state().transfers[i].count) + " ";
    }
    return out;
}

} // namespace

TEST(UacToolsTest, HelpAndUsageErrors)
{
    struct Case {
        int (*tool)(int, char **);
        std::vector<std::string> args;
        int status;
        std::string first_line; // of standard output, else of standard error
    };
    const Case cases[] = {
        {uacplay_main, {"uacplay", "--help"}, 0, "usage: uacplay [--card N] [--device N] [--quiet] FILE.wav"},
        {uaccap_main,
         {"uaccap", "--help"},
         0,
         "usage: uaccap [--seconds N] [--channels N] [--rate HZ] [--card N] [--device N] [--quiet] FILE.wav"},
        {uacplay_main, {"uacplay"}, 2, "uacplay: no file given"},
        {uacplay_main, {"uacplay", "--bogus", "a.wav"}, 2, "uacplay: unknown option --bogus"},
        {uacplay_main, {"uacplay", "a.wav", "b.wav"}, 2, "uacplay: only one file can be played"},
        {uacplay_main, {"uacplay", "--card", "256", "a.wav"}, 2, "uacplay: --card needs a number from 0 to 255"},
        {uaccap_main, {"uaccap", "--seconds", "-1", "a.wav"}, 2, "uaccap: --seconds needs a positive number"},
        {uaccap_main, {"uaccap", "--channels", "3", "a.wav"}, 2, "uaccap: --channels takes 1 or 2"},
        {uaccap_main,
         {"uaccap", "--rate", "44100", "a.wav"},
         2,
         "uaccap: --rate takes a rate of 8000-8999, 16000-16999, 32000-32999 or 48000-48999 Hz"},
        {uaccap_main, {"uaccap", "--seconds"}, 2, "uaccap: --seconds needs a positive number"},
        {uaccap_main, {"uaccap", "a.wav", "--seconds", "1", "b.wav"}, 2, "uaccap: only one file can be written"},
        {uaccap_main, {"uaccap", "--device", "1", "-x", "a.wav"}, 2, "uaccap: unknown option -x"},
        {uacplay_main,
         {"uacplay", "/nonexistent/x.wav"},
         1,
         "uacplay: cannot open /nonexistent/x.wav: No such file or directory"},
    };
    for (const Case &c : cases) {
        const ToolRun run = run_tool(c.tool, c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back();
        const std::string &text = run.status == 0 ? run.out : run.err;
        EXPECT_EQ(text.substr(0, text.find('\n')), c.first_line) << c.args.back();
    }
}

TEST(UacToolsTest, PlayRefusesWhatTheStreamCannotTakeBeforeOpeningIt)
{
    struct Case {
        std::string wav;
        std::string error;
    };
    const Case cases[] = {
        {wav_bytes(2, 48000, 24, 100),
         "24-bit samples, not 16-bit; the USB stream takes 16-bit PCM with 1 or 2 channels"},
        {wav_bytes(2, 44100, 16, 100),
         "44100 Hz is not a rate the USB stream runs at (8000-8999, 16000-16999, 32000-32999, 48000-48999 Hz)"},
        {"RIFF....WAVEjunk", "not a RIFF/WAVE file"},
        {"not audio", "too short for a WAV header"},
    };
    for (const Case &c : cases) {
        fake_tinyalsa::reset();
        const std::string path = write_input(c.wav);
        const ToolRun run = run_tool(uacplay_main, {"uacplay", path});
        std::filesystem::remove(path);
        EXPECT_EQ(run.status, 1);
        if (c.error != "not a RIFF/WAVE file") {
            EXPECT_EQ(run.err, "uacplay: " + path + ": " + c.error + "\n");
        }
        EXPECT_TRUE(state().streams.empty());
    }
}

TEST(UacToolsTest, PlaySendsTheWholeFileInPeriodsAndClosesTheStreams)
{
    const std::string log = in_fixture("", [] {
        const std::string path = write_input(wav_bytes(2, 48000, 16, 2560));
        const ToolRun run = run_tool(uacplay_main, {"uacplay", "--quiet", path});
        std::filesystem::remove(path);
        return std::to_string(run.status) + " [" + run.out + "][" + run.err + "] " + writes_text() +
               "live=" + std::to_string(fake_tinyalsa::open_stream_count());
    });
    // The file in periods, then a whole ring (4096 frames) of silence, so that
    // closing the stream drops silence and not the file's last frames.
    EXPECT_EQ(log, "0 [uac_config->card=1\nuacplay: sent 0.1 s (2560 frames, 2 channels, 48000 Hz), 0 xrun(s) "
                   "suspected\n][] w1024 w1024 w512 w1024 w1024 w1024 w1024 live=0");
}

TEST(UacToolsTest, PlayRefusesAFileInAnotherFormatThanTheHostSelected)
{
    const std::string log = in_fixture("Playback:\n Channels: 1\n Rates: 16000\n", [] {
        state().accept = [](const fake_tinyalsa::OpenCall &call) {
            return (call.flags & PCM_IN) || (call.config.channels == 1 && call.config.rate == 16000);
        };
        const std::string path = write_input(wav_bytes(2, 48000, 16, 100));
        const ToolRun run = run_tool(uacplay_main, {"uacplay", "--quiet", path});
        std::filesystem::remove(path);
        return std::to_string(run.status) + " [" + run.err + "] " + writes_text() +
               "live=" + std::to_string(fake_tinyalsa::open_stream_count());
    });
    EXPECT_NE(log.find("is 2 channels, 48000 Hz but the USB host selected 1 channel, 16000 Hz; convert the file "
                       "first\n] live=0"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.substr(0, 2), "1 ");
}

TEST(UacToolsTest, PlayReportsAFailedSend)
{
    const std::string log = in_fixture("", [] {
        state().write_result = -EIO;
        const std::string path = write_input(wav_bytes(1, 16000, 16, 4000));
        const ToolRun run = run_tool(uacplay_main, {"uacplay", "--quiet", path});
        std::filesystem::remove(path);
        return std::to_string(run.status) + " [" + run.err + "] " + writes_text() +
               "live=" + std::to_string(fake_tinyalsa::open_stream_count());
    });
    EXPECT_EQ(log, "1 [uacplay: sending to the USB host failed (the host stopped the stream or the link is gone)\n] "
                   "w1024 live=0");
}

TEST(UacToolsTest, PlayReportsCtrlCDuringASendAsAnInterruption)
{
    const std::string log = in_fixture("", [] {
        // The signal arrives while the second send waits in the kernel, which
        // then fails it.
        state().during_transfer = [] {
            if (state().transfer_count == 2) {
                std::raise(SIGINT);
                state().write_result = -1;
            }
        };
        const std::string path = write_input(wav_bytes(1, 16000, 16, 4000));
        const ToolRun run = run_tool(uacplay_main, {"uacplay", "--quiet", path});
        std::filesystem::remove(path);
        return std::to_string(run.status) + " [" + run.err + "] [" + run.out + "] " + writes_text() +
               "live=" + std::to_string(fake_tinyalsa::open_stream_count());
    });
    EXPECT_EQ(log, "1 [] [uac_config->card=1\nuacplay: sent 0.1 s (1024 frames, 1 channel, 16000 Hz), 0 xrun(s) "
                   "suspected, interrupted\n] "
                   "w1024 w1024 live=0");
}

TEST(UacToolsTest, CaptureRecordsTheAskedTimeInTheFormatTheHostSelected)
{
    struct Case {
        std::string status_file;
        std::vector<std::string> options;
        std::string accepted; // "c<ch>/<rate>" the card takes
        std::string outcome;
    };
    const Case cases[] = {
        {"", {"--seconds", "0.05"}, "c2/48000", "0 r1024 r1024 r1024 2/48000/2400 bytes 5a"},
        {"Capture:\n Channels: 1\n Rates: 16000\n",
         {"--seconds", "0.2"},
         "c1/16000",
         "0 r1024 r1024 r1024 r1024 1/16000/3200 bytes 5a"},
    };
    for (const Case &c : cases) {
        const std::string log = in_fixture(c.status_file, [&c] {
            state().accept = [&c](const fake_tinyalsa::OpenCall &call) {
                // Appended piece by piece: GCC 12 at -O3 takes "c" + std::string for an
                // overlapping copy (a false -Wrestrict).
                std::string format = "c";
                format += std::to_string(call.config.channels);
                format += "/";
                format += std::to_string(call.config.rate);
                return format == c.accepted;
            };
            const std::string path = "/tmp/uac-tools-out-" + std::to_string(getpid()) + ".wav";
            std::vector<std::string> args{"uaccap", "--quiet"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.push_back(path);
            const ToolRun run = run_tool(uaccap_main, args);
            std::FILE *file = std::fopen(path.c_str(), "rb");
            WavInfo info;
            const std::string header = file ? wavReadHeader(file, &info) : "no file";
            unsigned char first = 0;
            if (file != nullptr && std::fread(&first, 1, 1, file) != 1) {
                first = 0;
            }
            if (file != nullptr) {
                std::fclose(file);
            }
            std::filesystem::remove(path);
            char hex[8];
            std::snprintf(hex, sizeof(hex), "%02x", first);
            return std::to_string(run.status) + " " + writes_text() + std::to_string(info.format.channels) + "/" +
                   std::to_string(info.format.rate) + "/" + std::to_string(info.data_bytes / info.format.block_align) +
                   " bytes " + hex + header + (run.status ? run.err : "");
        });
        EXPECT_EQ(log, c.outcome);
    }
}

TEST(UacToolsTest, CaptureStopsOnRepeatedReadFailuresAndStillCompletesTheFile)
{
    const std::string log = in_fixture("", [] {
        state().read_result = -EIO;
        const std::string path = "/tmp/uac-tools-fail-" + std::to_string(getpid()) + ".wav";
        const ToolRun run = run_tool(uaccap_main, {"uaccap", "--quiet", "--seconds", "1", path});
        std::FILE *file = std::fopen(path.c_str(), "rb");
        WavInfo info;
        const std::string header = file ? wavReadHeader(file, &info) : "no file";
        if (file != nullptr) {
            std::fclose(file);
        }
        std::filesystem::remove(path);
        return std::to_string(run.status) + " [" + run.err + "] " + writes_text() + "header=[" + header +
               "] live=" + std::to_string(fake_tinyalsa::open_stream_count());
    });
    EXPECT_EQ(log,
              "1 [uaccap: reading from the USB host failed 3 times in a row\n] r1024 r1024 r1024 header=[] live=0");
}
