// A scriptable stand-in for tinyalsa, linked into libuacbridge's tests and benchmark.
// It records every call with its arguments, answers as the test programs it,
// and keeps every stream it handed out so a test can see which were closed.
// Transfers are recorded into fixed storage: a transfer allocates nothing.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <tinyalsa/asoundlib.h>

namespace fake_tinyalsa {

struct OpenCall {
    unsigned card;
    unsigned device;
    unsigned flags;
    pcm_config config;
    // The node tinyalsa would open: "/dev/snd/pcmC%uD%u%c", c for PCM_IN, else p.
    std::string node() const;
};

struct Stream {
    OpenCall open;
    bool ready;
    bool closed;
    std::string error;
};

enum class Op { writei, readi, mmap_write, mmap_read };

struct Transfer {
    Op op;
    int stream;       // index into State::streams
    const void *data; // the pointer tinyalsa received
    unsigned count;   // frames (writei/readi) or bytes (mmap)
};

// How the fake answers an open: refused streams are not ready and carry
// tinyalsa's "cannot open device" text for their node.
using OpenRule = std::function<bool(const OpenCall &)>;

inline constexpr std::size_t kMaxTransfers = 64;
inline constexpr int kDefault = 0x7fffffff; // "answer as tinyalsa would"

struct State {
    std::vector<Stream> streams; // one per pcm_open, in call order
    OpenRule accept;             // null: accept every open
    std::vector<int> closes;     // stream indexes, in pcm_close order
    std::array<Transfer, kMaxTransfers> transfers{};
    std::size_t transfer_count = 0;
    // Results of the next transfers; kDefault gives the full count (frames
    // for readi/writei, 0 for the mmap calls). Wrong-direction and non-mmap
    // streams are refused as tinyalsa refuses them, whatever is set here.
    int write_result = kDefault;
    int read_result = kDefault;
    int mmap_result = kDefault;
    unsigned char read_fill = 0x5a; // readi writes this into every byte it reports
    bool open_yields_null = false;  // pcm_open returns no object at all (tinyalsa never does)
    // Runs inside every transfer before it answers (a signal arriving while
    // the caller waits in the kernel, for example).
    std::function<void()> during_transfer;
};

State &state();
void reset();

// Index of the stream an object handed out by pcm_open stands for.
int index_of(const struct pcm *pcm);
// Streams opened and not closed.
int open_stream_count();
// A compact log of opens and closes, e.g. "open C1D0p flags=10 2ch 48000Hz 1024x4 thr=0/0/0; close 0".
std::string journal();

} // namespace fake_tinyalsa
