#include "wav_file.h"

#include <sys/types.h>

#include <cerrno>
#include <cstring>

// WAV files reach 4 GiB: positions past 2 GiB need a 64-bit off_t on the
// 32-bit device too (the tools build with _FILE_OFFSET_BITS=64).
static_assert(sizeof(off_t) == 8, "64-bit file offsets");

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kHeaderBytes = 44;
// The most a RIFF size field can describe; larger recordings are cut here.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

uint16_t le16(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t le32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void put16(unsigned char *p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

bool readExactly(std::FILE *file, unsigned char *buf, std::size_t n)
{
    return std::fread(buf, 1, n, file) == n;
}

bool fileSize(std::FILE *file, uint64_t *size)
{
    const off_t here = ftello(file);
    if (here < 0 || fseeko(file, 0, SEEK_END) != 0) {
        return false;
    }
    const off_t end = ftello(file);
    if (end < 0 || fseeko(file, here, SEEK_SET) != 0) {
        return false;
    }
    *size = static_cast<uint64_t>(end);
    return true;
}

std::string parseFormat(std::FILE *file, uint32_t size, WavFormat *format)
{
    if (size < 16) {
        return "the format chunk is too short (" + std::to_string(size) + " bytes)";
    }
    unsigned char fmt[40] = {};
    const std::size_t wanted = size < sizeof(fmt) ? size : sizeof(fmt);
    if (!readExactly(file, fmt, wanted)) {
        return "the file ends inside its format chunk";
    }
    format->format_tag = le16(fmt);
    format->channels = le16(fmt + 2);
    format->rate = le32(fmt + 4);
    format->block_align = le16(fmt + 12);
    format->bits = le16(fmt + 14);
    // WAVE_FORMAT_EXTENSIBLE names the real format in its sub-format GUID.
    if (format->format_tag == kFormatExtensible && wanted >= 26) {
        format->format_tag = le16(fmt + 24);
    }
    if (format->channels == 0 || format->block_align == 0 || format->rate == 0) {
        return "the format chunk gives no channels, rate or frame size";
    }
    return "";
}

} // namespace

std::string wavReadHeader(std::FILE *file, WavInfo *info)
{
    unsigned char riff[12];
    if (!readExactly(file, riff, sizeof(riff))) {
        return "too short for a WAV header";
    }
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return "not a RIFF/WAVE file";
    }
    uint64_t total = 0;
    if (!fileSize(file, &total)) {
        return "cannot seek in the file";
    }
    bool have_format = false;
    bool have_data = false;
    uint64_t declared_data = 0;
    for (;;) {
        unsigned char head[8];
        if (!readExactly(file, head, sizeof(head))) {
            break;
        }
        const uint32_t size = le32(head + 4);
        const off_t position = ftello(file);
        if (position < 0) {
            return "cannot tell the position in the file";
        }
        const uint64_t body = static_cast<uint64_t>(position);
        if (std::memcmp(head, "fmt ", 4) == 0 && !have_format) {
            const std::string error = parseFormat(file, size, &info->format);
            if (!error.empty()) {
                return error;
            }
            have_format = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !have_data) {
            info->data_offset = body;
            declared_data = size;
            have_data = true;
        }
        // Chunks are padded to an even size.
        const uint64_t next = body + size + (size & 1u);
        if (next >= total || fseeko(file, static_cast<off_t>(next), SEEK_SET) != 0) {
            break;
        }
    }
    if (!have_format) {
        return "no format chunk";
    }
    if (!have_data) {
        return "no data chunk";
    }
    // A data chunk that claims more than the file holds (a recording cut
    // short) or gives no size at all (0 or ~0, written by a recorder that
    // never finished or by a stream): take what is there.
    const uint64_t present = total - info->data_offset;
    info->unsized = declared_data == 0 || declared_data == 0xFFFFFFFFu;
    info->truncated = !info->unsized && declared_data > present;
    const uint64_t bytes = info->unsized || info->truncated ? present : declared_data;
    info->data_bytes = bytes - bytes % info->format.block_align;
    if (fseeko(file, static_cast<off_t>(info->data_offset), SEEK_SET) != 0) {
        return "cannot seek to the samples";
    }
    return "";
}

std::string wavCheckPcm16(const WavFormat &format)
{
    if (format.format_tag != kFormatPcm) {
        return "sample format " + std::to_string(format.format_tag) + " is not integer PCM";
    }
    if (format.bits != 16) {
        return std::to_string(format.bits) + "-bit samples, not 16-bit";
    }
    if (format.channels < 1 || format.channels > 2) {
        return std::to_string(format.channels) + " channels, not 1 or 2";
    }
    if (format.block_align != 2u * format.channels) {
        return "frame size " + std::to_string(format.block_align) + " does not match " +
               std::to_string(format.channels) + " channels of 16 bits";
    }
    return "";
}

WavWriter::~WavWriter()
{
    if (file_ != nullptr) {
        finish();
    }
}

std::string WavWriter::open(const char *path, uint16_t channels, uint32_t rate)
{
    file_ = std::fopen(path, "wb");
    if (file_ == nullptr) {
        return std::string("cannot create ") + path + ": " + std::strerror(errno);
    }
    channels_ = channels;
    rate_ = rate;
    data_bytes_ = 0;
    unsigned char header[kHeaderBytes] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);
    put16(header + 20, kFormatPcm);
    put16(header + 22, channels);
    put32(header + 24, rate);
    put32(header + 28, rate * channels * 2u);
    put16(header + 32, static_cast<uint16_t>(channels * 2u));
    put16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    put32(header + 4, kHeaderBytes - 8);
    if (std::fwrite(header, 1, sizeof(header), file_) != sizeof(header)) {
        std::fclose(file_);
        file_ = nullptr;
        return std::string("cannot write ") + path + ": " + std::strerror(errno);
    }
    return "";
}

bool WavWriter::write(const void *samples, std::size_t bytes)
{
    if (file_ == nullptr || data_bytes_ + bytes > kMaxDataBytes) {
        return false;
    }
    if (std::fwrite(samples, 1, bytes, file_) != bytes) {
        return false;
    }
    data_bytes_ += bytes;
    return true;
}

std::string WavWriter::finish()
{
    if (file_ == nullptr) {
        return "not open";
    }
    unsigned char size[4];
    std::string error;
    put32(size, static_cast<uint32_t>(data_bytes_ + kHeaderBytes - 8));
    if (std::fseek(file_, 4, SEEK_SET) != 0 || std::fwrite(size, 1, 4, file_) != 4) {
        error = std::string("cannot write the final sizes: ") + std::strerror(errno);
    }
    put32(size, static_cast<uint32_t>(data_bytes_));
    if (error.empty() && (std::fseek(file_, 40, SEEK_SET) != 0 || std::fwrite(size, 1, 4, file_) != 4)) {
        error = std::string("cannot write the final sizes: ") + std::strerror(errno);
    }
    if (std::fclose(file_) != 0 && error.empty()) {
        error = std::string("cannot close the file: ") + std::strerror(errno);
    }
    file_ = nullptr;
    return error;
}
