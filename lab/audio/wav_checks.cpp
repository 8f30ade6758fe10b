// A WAV round trip through uacplay and uaccap: a file of the frame pattern,
// the host's side playing or recording it on device 1, and the comparison
// of what arrived with the file, sample by sample.
#include <cstdio>
#include <vector>

#include "checks.h"
#include "frame_pattern.h"
#include "host_side.h"
#include "report.h"
#include "wav_file.h"

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint32_t kSeed = 0x77617665u;
// A player whose writes fail this often in a row has lost its stream.
constexpr int kMaxFailedWrites = 20;

// The file's 16-bit stereo samples, or an empty vector with *why set.
std::vector<int16_t> readWav(const std::string &path, std::string *why)
{
    std::vector<int16_t> samples;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *why = "cannot open " + path;
        return samples;
    }
    WavInfo info;
    *why = wavReadHeader(file, &info);
    if (why->empty() && (info.format.channels != 2 || info.format.rate != kRate)) {
        *why = path + " is not 2 ch 48000 Hz";
    }
    if (why->empty()) {
        samples.resize(info.data_bytes / 2);
        samples.resize(std::fread(samples.data(), 2, samples.size(), file));
    }
    std::fclose(file);
    return samples;
}

// Index of the first frame of `received` equal to the first frame of `sent`.
size_t findStart(const std::vector<int16_t> &sent, const std::vector<int16_t> &received)
{
    for (size_t i = 0; i + 1 < received.size(); i += 2) {
        if (received[i] == sent[0] && received[i + 1] == sent[1]) {
            return i;
        }
    }
    return received.size();
}

} // namespace

int makeWav(const Args &args)
{
    const double seconds = args.size() > 1 ? std::stod(args[1]) : 2;
    const size_t frames = static_cast<size_t>(seconds * kRate);
    // Half a second of silence after the pattern: uacplay closes its stream
    // when the file is sent, and what is still queued then is not played.
    std::vector<int16_t> samples(2 * (frames + kRate / 2), 0);
    FramePattern(kSeed).fill(samples.data(), frames, 0);
    WavWriter writer;
    std::string why = writer.open(args.at(0).c_str(), 2, kRate);
    if (why.empty() && !writer.write(samples.data(), samples.size() * 2)) {
        why = "writing failed";
    }
    if (why.empty()) {
        why = writer.finish();
    }
    if (!why.empty()) {
        std::fprintf(stderr, "makewav: %s\n", why.c_str());
    }
    return why.empty() ? 0 : 1;
}

int hostPlay(const Args &args)
{
    std::string why;
    std::vector<int16_t> samples = readWav(args.at(0), &why);
    // Blocking writes, as a USB host's player makes them. A write the kernel
    // ends with EIO took nothing: its wait for room (100 ms here) ran out
    // because the emulator did not run the board that long, and the stream
    // still runs with its queue (our tinyalsa leaves it so). The same period
    // is offered again, unless strict: then the play ends there, as aplay's
    // does (audio-blocking compares the two).
    const bool strict = args.size() > 1 && args[1] == "strict";
    HostStream play(cardNumberOf("UAC1Gadget"), 1, PCM_OUT, 2, kRate);
    if (!why.empty() || !play.ready()) {
        std::fprintf(stderr, "hostplay: %s%s\n", why.c_str(), play.error().c_str());
        return 1;
    }
    // A second of silence after the file pushes its end through the buffer.
    samples.resize(samples.size() + 2 * kRate, 0);
    int failed_in_a_row = 0;
    for (size_t at = 0; at + 2 * kPeriodFrames <= samples.size();) {
        if (pcm_writei(play.get(), &samples[at], kPeriodFrames) < 0) {
            if (strict || ++failed_in_a_row == kMaxFailedWrites) {
                std::fprintf(stderr, "hostplay: %s\n", play.error().c_str());
                return 1;
            }
            continue;
        }
        failed_in_a_row = 0;
        at += 2 * kPeriodFrames;
    }
    return 0;
}

int hostRecord(const Args &args)
{
    const size_t periods = static_cast<size_t>(std::stod(args.at(1)) * kRate / kPeriodFrames);
    HostStream capture(cardNumberOf("UAC1Gadget"), 1, PCM_IN, 2, kRate);
    WavWriter writer;
    std::string why = capture.ready() ? writer.open(args.at(0).c_str(), 2, kRate) : capture.error();
    std::vector<int16_t> period(2 * kPeriodFrames);
    for (size_t i = 0; why.empty() && i < periods; i++) {
        if (pcm_readi(capture.get(), period.data(), kPeriodFrames) < 0) {
            why = capture.error();
        } else if (!writer.write(period.data(), period.size() * 2)) {
            why = "writing failed";
        }
    }
    const std::string finished = writer.finish();
    if (!why.empty() || !finished.empty()) {
        std::fprintf(stderr, "hostrec: %s%s\n", why.c_str(), finished.c_str());
        return 1;
    }
    return 0;
}

int compareWav(const Args &args)
{
    const std::string what = args.at(2) + ": the WAV file arrives sample by sample";
    std::string why_sent, why_received;
    std::vector<int16_t> sent = readWav(args.at(0), &why_sent);
    const std::vector<int16_t> received = readWav(args.at(1), &why_received);
    if (!why_sent.empty() || !why_received.empty() || sent.size() < 2) {
        reportCheck(false, what, why_sent + why_received);
        return reportStatus();
    }
    // The pattern part of the file; its silent tail is padding.
    while (sent.size() >= 2 && sent[sent.size() - 1] == 0 && sent[sent.size() - 2] == 0) {
        sent.resize(sent.size() - 2);
    }
    const size_t start = findStart(sent, received);
    size_t differing = 0, missing = 0;
    for (size_t i = 0; i < sent.size(); i++) {
        if (start + i >= received.size()) {
            missing++;
        } else if (received[start + i] != sent[i]) {
            differing++;
        }
    }
    reportCheck(start < received.size() && differing == 0 && missing == 0, what,
                start >= received.size()
                    ? "its first frame never arrived"
                    : std::to_string(sent.size()) + " samples from frame " + std::to_string(start / 2) + ": " +
                          std::to_string(differing) + " differ, " + std::to_string(missing) + " missing");
    return reportStatus();
}
