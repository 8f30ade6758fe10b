// WAV parsing and writing of the USB audio tools, and their level meter.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "level_meter.h"
#include "wav_file.h"

namespace {

using Bytes = std::string;

Bytes u16(uint16_t v)
{
    return Bytes{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
}

Bytes u32(uint32_t v)
{
    return u16(static_cast<uint16_t>(v)) + u16(static_cast<uint16_t>(v >> 16));
}

Bytes chunk(const char *id, const Bytes &body, uint32_t declared)
{
    return Bytes(id, 4) + u32(declared) + body + (body.size() % 2 ? Bytes(1, '\0') : Bytes());
}

Bytes chunk(const char *id, const Bytes &body)
{
    return chunk(id, body, static_cast<uint32_t>(body.size()));
}

Bytes fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t align)
{
    return u16(tag) + u16(channels) + u32(rate) + u32(rate * align) + u16(align) + u16(bits);
}

Bytes fmt(uint16_t channels = 2, uint32_t rate = 48000, uint16_t bits = 16)
{
    return chunk("fmt ", fmt_body(1, channels, rate, bits, static_cast<uint16_t>(channels * bits / 8)));
}

// WAVE_FORMAT_EXTENSIBLE with the given sub-format.
Bytes fmt_extensible(uint16_t sub_format)
{
    Bytes body = fmt_body(0xFFFE, 2, 48000, 16, 4) + u16(22) + u16(16) + u32(3) + u16(sub_format) +
                 Bytes("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    return chunk("fmt ", body);
}

Bytes riff(const Bytes &chunks)
{
    return "RIFF" + u32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

const Bytes kSamples = Bytes("\x01\x00\x02\x00\x03\x00\x04\x00", 8);

class WavFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = std::filesystem::temp_directory_path() / ("uac-wav-" + std::to_string(getpid())); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write_file(const Bytes &content)
    {
        std::filesystem::create_directories(dir_);
        const std::string path = (dir_ / "in.wav").string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return path;
    }
    std::filesystem::path dir_;
};

} // namespace

TEST_F(WavFileTest, HeaderParsingCopesWithOddLayoutsAndSaysWhatIsWrong)
{
    struct Case {
        const char *what;
        Bytes file;
        std::string error;
        uint64_t data_offset;
        uint64_t data_bytes;
        bool truncated;
        bool unsized;
    };
    const Bytes odd_list = chunk("LIST", Bytes("abc", 3)); // 3 bytes, padded to 4
    const Case cases[] = {
        {"canonical", riff(fmt() + chunk("data", kSamples)), "", 44, 8, false, false},
        {"odd-sized chunk before the data", riff(fmt() + odd_list + chunk("data", kSamples)), "", 56, 8, false, false},
        {"data before fmt", riff(chunk("data", kSamples) + fmt()), "", 20, 8, false, false},
        {"fmt with an extension", riff(chunk("fmt ", fmt_body(1, 2, 48000, 16, 4) + u16(0)) + chunk("data", kSamples)),
         "", 46, 8, false, false},
        {"extensible PCM", riff(fmt_extensible(1) + chunk("data", kSamples)), "", 68, 8, false, false},
        {"partial last frame dropped", riff(fmt() + chunk("data", kSamples + "\x05\x00")), "", 44, 8, false, false},
        {"data cut short", riff(fmt() + chunk("data", kSamples, 1000)), "", 44, 8, true, false},
        {"data size 0 from an unfinished recorder", riff(fmt() + chunk("data", kSamples, 0)), "", 44, 8, false, true},
        {"data size ~0 from a stream", riff(fmt() + chunk("data", kSamples, 0xFFFFFFFF)), "", 44, 8, false, true},
        {"trailing chunk after the data", riff(fmt() + chunk("data", kSamples) + odd_list), "", 44, 8, false, false},
        {"empty file", "", "too short for a WAV header", 0, 0, false, false},
        {"not RIFF", "RIFX" + u32(4) + "WAVE", "not a RIFF/WAVE file", 0, 0, false, false},
        {"RIFF but not WAVE", "RIFF" + u32(4) + "AVI ", "not a RIFF/WAVE file", 0, 0, false, false},
        {"no fmt", riff(chunk("data", kSamples)), "no format chunk", 0, 0, false, false},
        {"no data", riff(fmt()), "no data chunk", 0, 0, false, false},
        {"fmt too short", riff(chunk("fmt ", Bytes(14, '\1')) + chunk("data", kSamples)),
         "the format chunk is too short (14 bytes)", 0, 0, false, false},
        {"file ends inside fmt", "RIFF" + u32(40) + "WAVE" + "fmt " + u32(16) + Bytes(6, '\1'),
         "the file ends inside its format chunk", 0, 0, false, false},
        {"zero channels", riff(chunk("fmt ", fmt_body(1, 0, 48000, 16, 0)) + chunk("data", kSamples)),
         "the format chunk gives no channels, rate or frame size", 0, 0, false, false},
        {"chunk size beyond the end hides the data",
         riff(fmt() + chunk("junk", Bytes(4, 'j'), 100000) + chunk("data", kSamples)), "no data chunk", 0, 0, false,
         false},
    };
    for (const Case &c : cases) {
        const std::string path = write_file(c.file);
        std::FILE *file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        WavInfo info;
        EXPECT_EQ(wavReadHeader(file, &info), c.error) << c.what;
        if (c.error.empty()) {
            EXPECT_EQ(info.data_offset, c.data_offset) << c.what;
            EXPECT_EQ(info.data_bytes, c.data_bytes) << c.what;
            EXPECT_EQ(info.truncated, c.truncated) << c.what;
            EXPECT_EQ(info.unsized, c.unsized) << c.what;
            EXPECT_EQ(info.format.channels, 2) << c.what;
            EXPECT_EQ(info.format.rate, 48000u) << c.what;
            char first[8];
            ASSERT_EQ(std::fread(first, 1, 8, file), 8u) << c.what; // positioned at the samples
            EXPECT_EQ(Bytes(first, 8), kSamples) << c.what;
        }
        std::fclose(file);
    }
}

TEST_F(WavFileTest, OnlySixteenBitIntegerPcmOfOneOrTwoChannelsIsPlayable)
{
    struct Case {
        WavFormat format;
        std::string error;
    };
    const Case cases[] = {
        {{1, 2, 48000, 16, 4}, ""},
        {{1, 1, 16000, 16, 2}, ""},
        {{3, 2, 48000, 32, 8}, "sample format 3 is not integer PCM"},
        {{1, 2, 48000, 24, 6}, "24-bit samples, not 16-bit"},
        {{1, 1, 8000, 8, 1}, "8-bit samples, not 16-bit"},
        {{1, 3, 48000, 16, 6}, "3 channels, not 1 or 2"},
        {{1, 2, 48000, 16, 6}, "frame size 6 does not match 2 channels of 16 bits"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(wavCheckPcm16(c.format), c.error);
    }
    // The extensible header's sub-format decides.
    const std::string path = write_file(riff(fmt_extensible(3) + chunk("data", kSamples)));
    std::FILE *file = std::fopen(path.c_str(), "rb");
    WavInfo info;
    EXPECT_EQ(wavReadHeader(file, &info), "");
    EXPECT_EQ(wavCheckPcm16(info.format), "sample format 3 is not integer PCM");
    std::fclose(file);
}

TEST_F(WavFileTest, WriterProducesAFileTheReaderTakesBack)
{
    std::filesystem::create_directories(dir_);
    const std::string path = (dir_ / "out.wav").string();
    std::vector<int16_t> samples(3000);
    for (std::size_t i = 0; i < samples.size(); i++) {
        samples[i] = static_cast<int16_t>(i * 7 - 10000);
    }
    {
        WavWriter writer;
        ASSERT_EQ(writer.open(path.c_str(), 1, 16000), "");
        EXPECT_TRUE(writer.write(samples.data(), 2000));
        EXPECT_TRUE(writer.write(samples.data() + 1000, 4000));
        EXPECT_EQ(writer.dataBytes(), 6000u);
        EXPECT_EQ(writer.finish(), "");
        EXPECT_FALSE(writer.write(samples.data(), 2)); // finished
    }
    std::FILE *file = std::fopen(path.c_str(), "rb");
    WavInfo info;
    ASSERT_EQ(wavReadHeader(file, &info), "");
    EXPECT_EQ(wavCheckPcm16(info.format), "");
    EXPECT_EQ(info.format.channels, 1);
    EXPECT_EQ(info.format.rate, 16000u);
    EXPECT_EQ(info.data_offset, 44u);
    EXPECT_EQ(info.data_bytes, 6000u);
    EXPECT_FALSE(info.unsized);
    std::vector<int16_t> back(3000);
    ASSERT_EQ(std::fread(back.data(), 2, back.size(), file), back.size());
    EXPECT_EQ(back, samples);
    std::fclose(file);
    EXPECT_EQ(std::filesystem::file_size(path), 6044u);
}

// A recording of 2.5 GiB (a sparse file: only its header and last frame
// are written). On the 32-bit device the positions past 2 GiB need 64-bit
// file offsets, else the file does not even open.
TEST_F(WavFileTest, FilesLargerThanTwoGibibytesAreRead)
{
    const uint32_t data_bytes = 0xA0000000u;
    const std::string path = write_file(riff(fmt(2, 48000) + chunk("data", Bytes(), data_bytes)));
    std::FILE *file = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    ASSERT_EQ(fseeko(file, static_cast<off_t>(44) + data_bytes - 4, SEEK_SET), 0);
    ASSERT_EQ(std::fwrite("\x11\x22\x33\x44", 1, 4, file), 4u);
    ASSERT_EQ(std::fclose(file), 0);

    file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    WavInfo info;
    ASSERT_EQ(wavReadHeader(file, &info), "");
    EXPECT_EQ(info.data_offset, 44u);
    EXPECT_EQ(info.data_bytes, data_bytes);
    EXPECT_FALSE(info.truncated);
    ASSERT_EQ(fseeko(file, static_cast<off_t>(info.data_offset + info.data_bytes - 4), SEEK_SET), 0);
    char last[4] = {};
    ASSERT_EQ(std::fread(last, 1, 4, file), 4u);
    EXPECT_EQ(std::string(last, 4), "\x11\x22\x33\x44");
    std::fclose(file);
    std::filesystem::remove(path);
}

TEST_F(WavFileTest, WriterReportsAFileItCannotCreate)
{
    WavWriter writer;
    const std::string error = writer.open((dir_ / "missing" / "out.wav").c_str(), 2, 48000);
    EXPECT_EQ(error.rfind("cannot create ", 0), 0u) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(writer.write("ab", 2));
}

TEST(LevelMeterTest, PeakAndBar)
{
    struct Peak {
        std::vector<int16_t> samples;
        double dbfs;
    };
    const Peak peaks[] = {
        {{0, 0, 0}, -96.0}, {{}, -96.0}, {{-32768}, 0.0}, {{16384, -5}, -6.0206}, {{3, -3277, 100}, -20.0},
    };
    for (const Peak &p : peaks) {
        EXPECT_NEAR(peakDbfs(p.samples.data(), p.samples.size()), p.dbfs, 0.01);
    }
    EXPECT_EQ(levelBar(-60, 10), "..........");
    EXPECT_EQ(levelBar(-96, 10), "..........");
    EXPECT_EQ(levelBar(-30, 10), "#####.....");
    EXPECT_EQ(levelBar(0, 10), "##########");
    EXPECT_EQ(levelBar(6, 10), "##########");
    EXPECT_EQ(statusLine(1.25, 10, -96, 2),
              "    1.2 s / 10.0 s  [..............................]  -96.0 dBFS  xruns 2");
    EXPECT_EQ(statusLine(3, -1, 0, 0), "    3.0 s  [##############################]    0.0 dBFS  xruns 0");
}
