// Reading and writing RIFF/WAVE files of PCM samples, as the USB audio
// tools need them: the header is parsed chunk by chunk (any order, unknown
// chunks skipped, odd sizes padded) and every problem comes back as a
// message instead of a guess.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct WavFormat {
    uint16_t format_tag = 0; // 1: integer PCM (also from WAVE_FORMAT_EXTENSIBLE)
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    uint16_t block_align = 0; // bytes per frame
};

struct WavInfo {
    WavFormat format;
    uint64_t data_offset = 0; // where the samples start in the file
    uint64_t data_bytes = 0;  // sample bytes actually present, whole frames only
    bool truncated = false;   // the file ends before its data chunk says
    bool unsized = false;     // the data chunk gives no size (0 or ~0): read to the end
};

// Parses the header of an open, seekable file and leaves it positioned at
// the first sample. Returns "" or what is wrong with the file.
std::string wavReadHeader(std::FILE *file, WavInfo *info);

// "" when the format is 16-bit integer PCM with 1 or 2 channels; else why not.
std::string wavCheckPcm16(const WavFormat &format);

// Writes a 16-bit PCM file: the header first with placeholder sizes, then the
// samples; finish() patches the sizes in. A file not finished still holds
// every sample written, behind a header that claims none.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    // Returns "" or the reason the file cannot be written.
    std::string open(const char *path, uint16_t channels, uint32_t rate);
    bool write(const void *samples, std::size_t bytes);
    // Writes the final sizes and closes the file; "" or what failed.
    std::string finish();
    uint64_t dataBytes() const { return data_bytes_; }

private:
    std::FILE *file_ = nullptr;
    uint16_t channels_ = 0;
    uint32_t rate_ = 0;
    uint64_t data_bytes_ = 0;
};
