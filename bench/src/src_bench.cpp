// Sample-rate conversion: speed of our path (BSP_UacSrcProcess over
// libSRC_LINUX.so) against speexdsp called directly and against libsoxr, per
// convert mode, and the quality figures of each candidate.
//
//   scripts/bench-src [benchmark options]
#include <benchmark/benchmark.h>
#include <soxr.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>

#include "candidates.h"
#include "quality.h"
#include "test_signal.h"
#include "ulo_src.h"

namespace {

constexpr int kSpeexDefault = 5; // what our converter uses for u32ConvArg 0

const CandidateKind kOurs{"ours (BSP_UacSrcProcess)", make_ours, 0};
const CandidateKind kSpeex{"speexdsp q5 direct", make_speex, kSpeexDefault};
const CandidateKind kSoxr{"soxr HQ direct", make_soxr, SOXR_HQ};

// Quality figures for more settings than are timed, to show the trade-off.
const CandidateKind kQualityKinds[] = {
    kOurs,
    {"speexdsp q3", make_speex, 3},
    kSpeex,
    {"speexdsp q8", make_speex, 8},
    {"speexdsp q10", make_speex, 10},
    {"soxr MQ", make_soxr, SOXR_MQ},
    {"soxr 16-bit", make_soxr, SOXR_16_BITQ},
    kSoxr,
    {"soxr VHQ", make_soxr, SOXR_VHQ},
};

struct Mode {
    uint32_t in_khz, out_khz;
};

// Every convert mode of the converter, in its order.
std::vector<Mode> modes()
{
    std::vector<Mode> all;
    for (uint32_t mode = 0; mode < ULO_SRC_MODE_COUNT; mode++) {
        all.push_back({UloSrc_ModeInKHz(mode), UloSrc_ModeOutKHz(mode)});
    }
    return all;
}

// One second of stereo test signal, fed in 10 ms blocks; the counter is
// seconds of audio per second of CPU time, i.e. times real time.
void run_candidate(benchmark::State &state, const CandidateKind &kind, Mode m)
{
    const Rates rates{m.in_khz * 1000, m.out_khz * 1000, 2};
    auto c = kind.make(rates, kind.setting);
    const size_t frames = block_frames(rates.in_hz);
    const auto input = signal_check::interleave(
        {signal_check::sine(1000, rates.in_hz, rates.in_hz, 20000), signal_check::white_noise(rates.in_hz, 8000, 1)});
    size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c->convert(input.data() + at * 2, frames));
        benchmark::DoNotOptimize(c->output());
        at = (at + frames) % rates.in_hz;
    }
    state.counters["xRT"] = benchmark::Counter(0.01, benchmark::Counter::kIsIterationInvariantRate);
}

double thread_cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Ours and speexdsp in turn, 100 ms each (a batch of ten 10 ms blocks, long
// against the clock's own cost), so that both see the same machine whatever
// else it is doing: the ratio of their speeds holds even where the absolute
// figures wander.
constexpr size_t kPairBatch = 10;

void run_pair(benchmark::State &state, Mode m)
{
    const Rates rates{m.in_khz * 1000, m.out_khz * 1000, 2};
    auto ours = kOurs.make(rates, kOurs.setting);
    auto speex = kSpeex.make(rates, kSpeex.setting);
    const size_t frames = block_frames(rates.in_hz);
    const auto input = signal_check::interleave(
        {signal_check::sine(1000, rates.in_hz, rates.in_hz, 20000), signal_check::white_noise(rates.in_hz, 8000, 1)});
    double ours_s = 0;
    double speex_s = 0;
    size_t at = 0;
    bool ours_first = true;
    for (auto _ : state) {
        Candidate *order[2] = {ours.get(), speex.get()};
        double *spent[2] = {&ours_s, &speex_s};
        if (!ours_first) {
            std::swap(order[0], order[1]);
            std::swap(spent[0], spent[1]);
        }
        for (int i = 0; i < 2; i++) {
            const double t0 = thread_cpu_seconds();
            for (size_t b = 0; b < kPairBatch; b++) {
                benchmark::DoNotOptimize(order[i]->convert(input.data() + (at + b * frames) * 2, frames));
            }
            *spent[i] += thread_cpu_seconds() - t0;
        }
        ours_first = !ours_first;
        at = (at + kPairBatch * frames) % rates.in_hz;
    }
    const double audio = 0.01 * kPairBatch * static_cast<double>(state.iterations());
    state.counters["ours_xRT"] = audio / ours_s;
    state.counters["speex_xRT"] = audio / speex_s;
    state.counters["ratio"] = speex_s / ours_s;
}

std::string mode_name(Mode m)
{
    return std::to_string(m.in_khz) + "to" + std::to_string(m.out_khz);
}

std::string bench_name(const CandidateKind &kind, Mode m)
{
    return kind.name.substr(0, kind.name.find(' ')) + "/" + mode_name(m);
}

std::string pair_name(Mode m)
{
    return "ours_vs_speexdsp/" + mode_name(m);
}

class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                std::string name = run.benchmark_name();
                name = name.substr(0, name.find("_median"));
                for (const auto &[counter, value] : run.counters) {
                    figures[name + ":" + counter] = value.value;
                }
            }
        }
    }
    std::map<std::string, double> figures; // "benchmark:counter"
};

std::string rejection_text(double db)
{
    char text[32];
    if (db >= kSilentRejectionDb - 0.05) {
        snprintf(text, sizeof(text), "silent");
    } else {
        snprintf(text, sizeof(text), "%.1f dB", db);
    }
    return text;
}

void print_quality()
{
    printf("Quality (mono, 16-bit in and out; tones at -1 dBFS; SNR is THD+N of 997 Hz; rejection of tones above\n"
           "the output's Nyquist frequency in 48->16, \"silent\": every output sample rounds to 0, i.e. more than\n"
           "%.1f dB; delay in output frames, 10 ms blocks)\n",
           kSilentRejectionDb);
    printf("%-26s %10s %10s %10s %10s %10s %10s %10s\n", "candidate", "SNR 48>16", "SNR 16>48", "rej 8.4k", "rej 9k",
           "rej 12k", "delay48>16", "delay16>48");
    for (const auto &kind : kQualityKinds) {
        const Delay down = measure_delay(kind, 48000, 16000);
        const Delay up = measure_delay(kind, 16000, 48000);
        printf("%-26s %7.1f dB %7.1f dB", kind.name.c_str(), tone_snr_db(kind, 48000, 16000),
               tone_snr_db(kind, 16000, 48000));
        for (double freq : {8400.0, 9000.0, 12000.0}) {
            printf(" %10s", rejection_text(rejection_db(kind, 48000, 16000, freq)).c_str());
        }
        printf(" %10.1f %10.1f\n", down.total(), up.total());
    }
    printf("\nDelay per mode in output frames (signal delay + output held back while streaming)\n");
    printf("%-8s", "mode");
    for (const auto &kind : {kOurs, kSoxr}) {
        printf(" %26s", kind.name.c_str());
    }
    printf("\n");
    for (Mode m : modes()) {
        printf("%2u->%-4u", m.in_khz, m.out_khz);
        for (const auto &kind : {kOurs, kSoxr}) {
            const Delay d = measure_delay(kind, m.in_khz * 1000, m.out_khz * 1000);
            printf(" %12.1f (%4.1f ms)      ", d.total(), d.total() / m.out_khz);
        }
        printf("\n");
    }
    printf("\n");
    fflush(stdout);
}

void print_speed(const CollectingReporter &r)
{
    const auto get = [&](const std::string &name) {
        const auto it = r.figures.find(name);
        return it == r.figures.end() ? 0.0 : it->second;
    };
    printf("\nSpeed (stereo, 10 ms blocks, times real time on one core; ratio from the paired run)\n");
    printf("%-8s %12s %12s %12s %14s\n", "mode", "ours", "speexdsp q5", "soxr HQ", "ours/speexdsp");
    for (Mode m : modes()) {
        printf("%2u->%-4u %12.0f %12.0f %12.0f %14.3f\n", m.in_khz, m.out_khz, get(bench_name(kOurs, m) + ":xRT"),
               get(bench_name(kSpeex, m) + ":xRT"), get(bench_name(kSoxr, m) + ":xRT"), get(pair_name(m) + ":ratio"));
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    print_quality();
    for (Mode m : modes()) {
        for (const CandidateKind *kind : {&kOurs, &kSpeex, &kSoxr}) {
            benchmark::RegisterBenchmark(bench_name(*kind, m).c_str(), run_candidate, *kind, m);
        }
        benchmark::RegisterBenchmark(pair_name(m).c_str(), run_pair, m);
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_speed(reporter);
    benchmark::Shutdown();
    return 0;
}
