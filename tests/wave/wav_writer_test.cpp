// WavWriter, by decision: the fmt chunk it chooses, the JUNK chunk that becomes ds64 when
// the file passes the RIFF limit, where added chunks go, a failed write settled over what
// reached the disk, the narrowing and widening rules, and its errors. Files are read back
// by Python's wave module (integer, up to 2 channels) and by ffmpeg (the rest).

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/mmio_testing.h"
#include "tests/support/file_bytes.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wavfile/wav_file.h"
#include "wave/wave.h"

using namespace testsupport;
using pcmwrap::SampleEncoding;
using pcmwrap::WavError;
using pcmwrap::WavFormat;
using pcmwrap::WavReader;
using pcmwrap::WavWriter;

namespace {

WavFormat makeFormat(std::uint16_t channels, std::uint16_t bits, SampleEncoding encoding, std::uint32_t mask = 0)
{
    WavFormat format;
    format.channels = channels;
    format.sampleRate = 48000;
    format.bitsPerSample = bits;
    format.encoding = encoding;
    format.channelMask = mask;
    return format;
}

std::string id(const Bytes& bytes, std::size_t at)
{
    return std::string(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 4);
}

// ffmpeg's decoding of a file to raw samples of type T.
template <class T>
std::vector<T> ffmpegDecode(const std::string& path, const char* codec, const char* rawFormat)
{
    const ProcessResult run =
        runProcess(PCMWRAP_FFMPEG, {"-v", "error", "-i", path, "-c:a", codec, "-f", rawFormat, "-"});
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    std::vector<T> samples(run.standardOutput.size() / sizeof(T));
    std::memcpy(samples.data(), run.standardOutput.data(), samples.size() * sizeof(T));
    return samples;
}

class WavWriterTest : public ::testing::Test {
protected:
    TempDir dir_;
};

// ---- Decision 4: what the writer writes.

struct LayoutCase {
    const char* what;
    WavFormat format;
    std::uint32_t fmtBytes;
    std::uint16_t tag;
    bool fact;
};

TEST_F(WavWriterTest, ChoosesTheSmallestFmtChunkAndReservesRoomForDs64)
{
    const LayoutCase cases[] = {
        {"s16 stereo", makeFormat(2, 16, SampleEncoding::kSignedInteger), 16, 1, false},
        {"u8 mono", makeFormat(1, 8, SampleEncoding::kUnsignedInteger), 16, 1, false},
        {"f32 mono", makeFormat(1, 32, SampleEncoding::kFloat), 18, 3, true},
        {"s24 six channels", makeFormat(6, 24, SampleEncoding::kSignedInteger), 40, 0xFFFE, true},
        {"s16 stereo with a mask", makeFormat(2, 16, SampleEncoding::kSignedInteger, 3), 40, 0xFFFE, true},
        {"s16 three channels, two placed", makeFormat(3, 16, SampleEncoding::kSignedInteger, 3), 40, 0xFFFE, true},
        {"f64 four channels", makeFormat(4, 64, SampleEncoding::kFloat), 40, 0xFFFE, true},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir_.file("layout.wav");
        const std::vector<float> samples(3 * c.format.channels, 0.25f);
        {
            WavWriter writer(path, c.format);
            writer.writeFrames(std::span<const float>(samples));
            EXPECT_EQ(writer.frameCount(), 3u);
        }  // the destructor finishes the file
        const Bytes b = readFile(path);
        EXPECT_EQ(id(b, 0), "RIFF");
        EXPECT_EQ(littleEndian32At(b, 4), b.size() - 8);
        EXPECT_EQ(id(b, 8) + id(b, 12), "WAVEJUNK");
        EXPECT_EQ(littleEndian32At(b, 16), 28u);
        EXPECT_EQ(id(b, 48), "fmt ");
        EXPECT_EQ(littleEndian32At(b, 52), c.fmtBytes);
        EXPECT_EQ(littleEndian16At(b, 56), c.tag);
        std::size_t at = 56 + c.fmtBytes;
        if (c.tag == 0xFFFE) {
            EXPECT_EQ(littleEndian16At(b, 56 + 18), c.format.bitsPerSample);  // valid bits
            EXPECT_EQ(littleEndian32At(b, 56 + 20), c.format.channelMask);
            EXPECT_EQ(littleEndian16At(b, 56 + 24), c.format.encoding == SampleEncoding::kFloat ? 3 : 1);
        }
        if (c.fact) {
            EXPECT_EQ(id(b, at), "fact");
            EXPECT_EQ(littleEndian32At(b, at + 8), 3u);
            at += 12;
        }
        EXPECT_EQ(id(b, at), "data");
        EXPECT_EQ(littleEndian32At(b, at + 4), 3u * c.format.channels * c.format.bitsPerSample / 8);
    }
}

TEST_F(WavWriterTest, PythonsWaveReadsTheIntegerFilesUpToTwoChannels)
{
    const std::vector<std::int16_t> samples = {0, -1, 32767, -32768, 256, -256};
    const struct {
        std::uint16_t bits;
        SampleEncoding encoding;
        const char* hex;  // the frames as the file stores them
    } cases[] = {
        {8, SampleEncoding::kUnsignedInteger, "8080ff00817f"},
        {16, SampleEncoding::kSignedInteger, "0000ffffff7f008000010" "0ff"},
        {24, SampleEncoding::kSignedInteger, "000000" "00ffff" "00ff7f" "000080" "000001" "0000ff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::string path = dir_.file("python.wav");
        WavWriter writer(path, makeFormat(2, c.bits, c.encoding));
        writer.writeFrames(std::span<const std::int16_t>(samples));
        writer.finish();
        const ProcessResult read = runPython(kPythonWaveReader, {path});
        ASSERT_EQ(read.exitStatus, 0) << read.standardError;
        EXPECT_EQ(read.standardOutput, "2 " + std::to_string(c.bits / 8) + " 48000 3\n" + c.hex);
    }
}

TEST_F(WavWriterTest, FfmpegReadsTheExtensibleAndFloatFiles)
{
    std::vector<std::int32_t> samples;
    for (int i = 0; i < 6 * 50; ++i) {
        samples.push_back((i * 7919 - 1000000) * 256);  // whole 24-bit values: written exactly
    }
    const std::string s24 = dir_.file("s24x6.wav");
    const std::string f32 = dir_.file("f32x6.wav");
    {
        WavWriter a(s24, makeFormat(6, 24, SampleEncoding::kSignedInteger));
        WavWriter b(f32, makeFormat(6, 32, SampleEncoding::kFloat));
        a.writeFrames(std::span<const std::int32_t>(samples));
        b.writeFrames(std::span<const std::int32_t>(samples));
    }
    EXPECT_EQ(ffmpegDecode<std::int32_t>(s24, "pcm_s32le", "s32le"), samples);
    const std::vector<float> floats = ffmpegDecode<float>(f32, "pcm_f32le", "f32le");
    ASSERT_EQ(floats.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(floats[i], static_cast<float>(samples[i]) / 2147483648.0f);
    }
}

TEST_F(WavWriterTest, ChunksAddedBeforeTheFramesGoBeforeDataAndAfterThemBehindIt)
{
    const std::string path = dir_.file("chunks.wav");
    const std::vector<std::byte> odd = {std::byte{1}, std::byte{2}, std::byte{3}};
    const std::vector<std::int16_t> frame = {5};
    {
        WavWriter writer(path, makeFormat(1, 16, SampleEncoding::kSignedInteger));
        writer.addChunk("bext", odd);
        EXPECT_THROW(writer.addChunk("bad\n", odd), std::invalid_argument);
        EXPECT_THROW(writer.addChunk("toolong", odd), std::invalid_argument);
        writer.writeFrames(std::span<const std::int16_t>(frame));
        writer.addChunk("LIST", odd);
        writer.writeFrames(std::span<const std::int16_t>(frame));
        writer.finish();
        writer.finish();  // a second call does nothing
    }
    WavReader reader(path);
    std::vector<std::string> ids;
    for (const auto& chunk : reader.chunks()) {
        ids.push_back(chunk.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"JUNK", "fmt ", "bext", "data", "LIST"}));
    EXPECT_EQ(reader.readChunk(reader.chunks().back()), odd);
    EXPECT_EQ(readFile(path).size(), 12u + 36 + 24 + 12 + 12 + 12);  // padded odd chunks
    EXPECT_EQ(runPython(kPythonWaveReader, {path}).standardOutput, "1 2 48000 2\n05000500");
}

TEST_F(WavWriterTest, AFilePastTheRiffLimitBecomesRf64InPlace)
{
    // The RIFF limit lowered to 1000 bytes stands for 0xFFFFFFFF; the real size is the
    // optimised build's large test.
    mmioSetMaximumFileSizeForTesting(1000);
    const std::string path = dir_.file("rf64.wav");
    std::vector<std::int16_t> samples(2 * 300);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(i * 37);
    }
    {
        WavWriter writer(path, makeFormat(2, 16, SampleEncoding::kSignedInteger));
        writer.writeFrames(std::span<const std::int16_t>(samples));
        writer.finish();
    }
    mmioSetMaximumFileSizeForTesting(kMmioMaximumFileSize);
    const Bytes b = readFile(path);
    ASSERT_EQ(b.size(), 80u + 1200);
    EXPECT_EQ(id(b, 0) + id(b, 8) + id(b, 12), "RF64WAVEds64");
    EXPECT_EQ(littleEndian32At(b, 4), 0xFFFFFFFFu);
    EXPECT_EQ(littleEndian32At(b, 16), 28u);
    EXPECT_EQ(littleEndian32At(b, 20), b.size() - 8);  // low halves of the 64-bit sizes
    EXPECT_EQ(littleEndian32At(b, 28), 1200u);
    EXPECT_EQ(littleEndian32At(b, 36), 300u);
    EXPECT_EQ(littleEndian32At(b, 76), 0xFFFFFFFFu);  // data size: see ds64
    EXPECT_EQ(ffmpegDecode<std::int16_t>(path, "pcm_s16le", "s16le"), samples);
}

TEST_F(WavWriterTest, AFailedWriteSettlesTheFileOverWhatReachedTheDiskAndThrows)
{
    const std::string path = dir_.file("full.wav");
    // A file size limit stands for a full disk: writes past it fail with EFBIG.
    const std::vector<std::int16_t> second(2 * 48000, 1000);
    std::string what;
    {
        const FileSizeLimit limit(100000);
        try {
            WavWriter writer(path, makeFormat(2, 16, SampleEncoding::kSignedInteger));
            writer.writeFrames(std::span<const std::int16_t>(second));
            writer.finish();
        } catch (const WavError& e) {
            EXPECT_EQ(e.waveCode().value(), WAV_ERR_WRITE_FAILED);
            what = e.what();
        }
    }
    EXPECT_EQ(what, "cannot write <" + path + ">: File too large");
    // 100000 bytes: an 80-byte header and 24980 whole frames.
    const ProcessResult read = runPython(kPythonWaveReader, {path});
    ASSERT_EQ(read.exitStatus, 0) << read.standardError;
    EXPECT_EQ(read.standardOutput.substr(0, read.standardOutput.find('\n')), "2 2 48000 24980");
}

// A write refused part-way through a frame (3 channels of 24 bits: 9-byte frames) leaves
// whole frames only, and frameCount() says how many the file holds; ffmpeg reads it
// without a warning.
TEST_F(WavWriterTest, AFailedWriteSettlesWholeFramesAndCountsThem)
{
    const std::string path = dir_.file("frames.wav");
    const std::vector<std::int32_t> second(3 * 48000, 1 << 20);
    std::uint64_t counted = 0;
    {
        const FileSizeLimit limit(100000);
        WavWriter writer(path, makeFormat(3, 24, SampleEncoding::kSignedInteger, 0x7));  // left, right, centre
        EXPECT_THROW(writer.writeFrames(std::span<const std::int32_t>(second)), WavError);
        counted = writer.frameCount();
    }
    // 100000 bytes: a 116-byte header (extensible fmt, fact) and 99884 data bytes, of
    // which 11098 whole frames.
    const Bytes b = readFile(path);
    EXPECT_EQ(counted, 11098u);
    EXPECT_EQ(b.size(), 116u + 11098 * 9);
    EXPECT_EQ(littleEndian32At(b, 112), 11098u * 9);  // the data size
    EXPECT_EQ(littleEndian32At(b, 104), 11098u);      // the fact count
    const ProcessResult decoded = runProcess(PCMWRAP_FFMPEG, {"-v", "warning", "-i", path, "-f", "s32le", "-"});
    EXPECT_EQ(decoded.exitStatus, 0);
    EXPECT_EQ(decoded.standardError, "");
    EXPECT_EQ(decoded.standardOutput.size(), 11098u * 3 * 4);
}

// A mask names one speaker per channel: more speakers than channels is no layout, and
// refused before the file is created; fewer leave the last channels unplaced.
TEST_F(WavWriterTest, AChannelMaskWithMoreSpeakersThanChannelsIsRefused)
{
    const std::string path = dir_.file("mask.wav");
    try {
        WavWriter writer(path, makeFormat(2, 16, SampleEncoding::kSignedInteger, 0x7));
        ADD_FAILURE() << "created";
    } catch (const WavError& e) {
        EXPECT_EQ(e.code().value(), WAV_ERR_BAD_FORMAT);
        EXPECT_EQ(std::string(e.what()), "<" + path + ">: a channel mask of 3 speakers for 2 channels");
    }
    EXPECT_FALSE(fileExists(path));
}

// ---- Decision 3: writing narrows and widens by the reading rules.

TEST_F(WavWriterTest, NarrowsAndWidensByTheSameRules)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string path = dir_.file("rules.wav");
    {
        WavWriter u8(path, makeFormat(1, 8, SampleEncoding::kUnsignedInteger));
        const std::vector<std::int16_t> a = {32767, -32768, 127, 128, -129};
        const std::vector<std::int32_t> b = {INT32_MAX, 0x00800000};
        const std::vector<float> c = {1.0f, -1.0f, nan, 0.5f / 128, 2.0f};
        u8.writeFrames(std::span<const std::int16_t>(a));
        u8.writeFrames(std::span<const std::int32_t>(b));
        u8.writeFrames(std::span<const float>(c));
    }
    WavReader reader(path);
    const std::vector<std::byte> data = reader.readChunk(reader.chunks().back());
    const std::vector<int> expected = {255, 0, 128, 129, 127, 255, 129, 255, 0, 128, 128, 255};
    ASSERT_EQ(data.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(static_cast<int>(data[i]), expected[i]) << i;
    }
}

TEST_F(WavWriterTest, WritesLongRunsOfFloatAs24BitByTheSameRule)
{
    std::vector<float> samples;
    for (int i = 0; i < 1001; ++i) {
        samples.push_back(static_cast<float>(i - 500) / 400.0f + (i % 2 == 0 ? 0.5f : 0.0f) / 8388608.0f);
    }
    samples[10] = std::numeric_limits<float>::quiet_NaN();
    const std::string path = dir_.file("long24.wav");
    {
        WavWriter writer(path, makeFormat(1, 24, SampleEncoding::kSignedInteger));
        writer.writeFrames(std::span<const float>(samples));
    }
    WavReader reader(path);
    const std::vector<std::byte> data = reader.readChunk(reader.chunks().back());
    ASSERT_EQ(data.size(), 3 * samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double scaled = std::isnan(samples[i]) ? 0.0 : std::clamp(samples[i] * 8388608.0, -8388608.0, 8388607.0);
        const auto expected = static_cast<std::int32_t>(std::nearbyint(scaled));  // ties to even
        const std::uint32_t u = std::to_integer<std::uint32_t>(data[3 * i]) |
                                std::to_integer<std::uint32_t>(data[3 * i + 1]) << 8 |
                                std::to_integer<std::uint32_t>(data[3 * i + 2]) << 16;
        ASSERT_EQ(static_cast<std::int32_t>(u << 8) / 256, expected) << i;
    }
}

// ---- Decision 5: the writer's errors.

TEST_F(WavWriterTest, ErrorsNameTheFileAndCreateNothingForAFormatItCannotWrite)
{
    const std::string path = dir_.file("bad.wav");
    try {
        WavWriter writer(path, makeFormat(2, 12, SampleEncoding::kSignedInteger));
        ADD_FAILURE() << "created";
    } catch (const WavError& e) {
        EXPECT_EQ(e.code().value(), WAV_ERR_BAD_FORMAT);
        EXPECT_EQ(std::string(e.what()), "<" + path + ">: 12-bit signed integer samples are not written");
    }
    EXPECT_FALSE(fileExists(path));
    const std::string nowhere = dir_.file("none/x.wav");
    try {
        WavWriter writer(nowhere, makeFormat(2, 16, SampleEncoding::kSignedInteger));
        ADD_FAILURE() << "created";
    } catch (const WavError& e) {
        EXPECT_EQ(e.waveCode().value(), WAV_ERR_WRITE_FAILED);
        EXPECT_EQ(std::string(e.what()), "cannot create <" + nowhere + ">: No such file or directory");
    }
    // A FIFO would block the open and can never take the header's sizes.
    const std::string fifo = dir_.file("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    try {
        WavWriter writer(fifo, makeFormat(2, 16, SampleEncoding::kSignedInteger));
        ADD_FAILURE() << "created";
    } catch (const WavError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot create <" + fifo + ">: not a regular file");
    }
    WavWriter writer(path, makeFormat(2, 16, SampleEncoding::kSignedInteger));
    const std::vector<float> three(3);
    EXPECT_THROW(writer.writeFrames(std::span<const float>(three)), std::invalid_argument);
}

}  // namespace
