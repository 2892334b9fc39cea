// WavReader's and WavWriter's double samples: exact for every stored format, both ways,
// and rounded once when written. ffmpeg reads back what the writer stored.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wavfile/wav_file.h"

using namespace testsupport;
using pcmwrap::SampleEncoding;
using pcmwrap::WavFormat;
using pcmwrap::WavReader;
using pcmwrap::WavWriter;

namespace {

constexpr WORD kFloatTag = 3;

// A stereo file of the given stored format holding the sample bytes.
Bytes stereoFile(WORD tag, WORD bits, const Bytes& samples)
{
    WAVEFORMATEX format = pcmWaveFormat(2, 44100, bits);
    format.wFormatTag = tag;
    return riffFile({{"fmt ", formatChunkData(format)}, {"data", samples}});
}

template <class T>
void appendValue(Bytes& bytes, T value)
{
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof raw);
    bytes.insert(bytes.end(), raw, raw + sizeof raw);
}

// Finite floats with every mantissa bit in use, first the given ones.
template <class T>
Bytes floatSamples(std::vector<T> values, std::size_t count, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<T> spread(-1.5, 1.5);
    while (values.size() < count) {
        values.push_back(spread(random));
    }
    Bytes bytes;
    for (const T value : values) {
        appendValue(bytes, value);
    }
    return bytes;
}

Bytes littleEndian32(std::vector<std::uint32_t> values, std::size_t count, std::uint32_t seed)
{
    Bytes bytes;
    for (const std::uint32_t value : values) {
        appendLittleEndian32(bytes, value);
    }
    const Bytes rest = randomBytes(4 * (count - values.size()), seed);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

Bytes dataOf(WavReader& reader)
{
    for (const auto& chunk : reader.chunks()) {
        if (chunk.id == "data") {
            const std::vector<std::byte> data = reader.readChunk(chunk);
            return Bytes(reinterpret_cast<const unsigned char*>(data.data()),
                         reinterpret_cast<const unsigned char*>(data.data()) + data.size());
        }
    }
    ADD_FAILURE() << "no data chunk";
    return {};
}

class WavDoubleSamplesTest : public ::testing::Test {
protected:
    TempDir dir_;
};

// Every sample read as double and written back as double in the same format comes back
// bit for bit; the values are the stored ones exactly (v / 2^(N-1), or the float itself),
// which float cannot hold for 32-bit integers and 64-bit float.
TEST_F(WavDoubleSamplesTest, EveryStoredFormatReadsAndWritesExactly)
{
    constexpr std::size_t kSamples = 2 * 700;
    const double fraction = -19321.5004 / 32768;  // a 64-bit float that float rounds to a half
    const struct {
        const char* what;
        WORD tag, bits;
        Bytes samples;
        double first;  // the first sample's exact value
    } cases[] = {
        {"u8", 1, 8, randomBytes(kSamples, 81), 0},
        {"s16", 1, 16, randomBytes(2 * kSamples, 82), 0},
        {"s24", 1, 24, randomBytes(3 * kSamples, 83), 0},
        {"s32", 1, 32, littleEndian32({0x40000001}, kSamples, 84), 0x40000001 / 2147483648.0},
        {"f32", kFloatTag, 32, floatSamples<float>({0.1f}, kSamples, 85), double{0.1f}},
        {"f64", kFloatTag, 64, floatSamples<double>({fraction}, kSamples, 86), fraction},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string in = dir_.file("in.wav");
        const std::string out = dir_.file("out.wav");
        writeFile(in, stereoFile(c.tag, c.bits, c.samples));
        WavReader reader(in);
        std::vector<double> values(kSamples);
        ASSERT_EQ(reader.readFrames(std::span(values)), kSamples / 2);
        if (c.first != 0) {
            EXPECT_EQ(values[0], c.first);
        }
        {
            WavWriter writer(out, reader.format());
            writer.writeFrames(std::span<const double>(values));
            writer.finish();
        }
        WavReader back(out);
        EXPECT_EQ(dataOf(back), c.samples);
    }
    // ffmpeg reads the last file's 64-bit floats as they were given.
    const ProcessResult decoded =
        runProcess(PCMWRAP_FFMPEG, {"-v", "error", "-i", dir_.file("out.wav"), "-c:a", "pcm_f64le", "-f", "f64le", "-"});
    ASSERT_EQ(decoded.exitStatus, 0) << decoded.standardError;
    const Bytes f64 = cases[5].samples;
    EXPECT_TRUE(decoded.standardOutput == std::string(f64.begin(), f64.end()));
}

// A double is rounded once, straight to what the file stores: a value just above a half
// step of 16 bits goes up, where passing through float would make it the half and round
// it to even.
TEST_F(WavDoubleSamplesTest, WritingRoundsOnceToTheStoredFormat)
{
    WavFormat format;
    format.channels = 1;
    format.sampleRate = 8000;
    format.bitsPerSample = 16;
    const std::string path = dir_.file("once.wav");
    const std::vector<double> values = {(0.5 + 1e-9) / 32768, (2.5 - 1e-9) / 32768, 2.0, std::nan("")};
    {
        WavWriter writer(path, format);
        writer.writeFrames(std::span<const double>(values));
    }
    WavReader reader(path);
    Bytes expected;
    for (const std::uint16_t v : {1, 2, 32767, 0}) {
        appendLittleEndian16(expected, v);
    }
    EXPECT_EQ(dataOf(reader), expected);
}

}  // namespace
