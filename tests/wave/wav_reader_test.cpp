// WavReader, by decision: the forms and formats it takes (and refuses), streamed and
// unfinished files, the exact sample conversions, its error texts and codes, and the one
// chunk walk behind chunks(), readChunk() and seekFrame().

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wavfile/wav_file.h"
#include "wave/wave.h"

using namespace testsupport;
using pcmwrap::SampleEncoding;
using pcmwrap::WavError;
using pcmwrap::WavReader;

namespace {

constexpr std::uint16_t kExtensible = 0xFFFE;

// A fmt chunk's data: the 16 common bytes, and for the extensible form cbSize 22, the
// valid bits, the mask and the subformat GUID.
Bytes fmtData(std::uint16_t tag, std::uint16_t channels, std::uint16_t bits, std::uint16_t subformat = 0,
              std::uint16_t validBits = 0, std::uint32_t mask = 0)
{
    Bytes b;
    appendLittleEndian16(b, tag);
    appendLittleEndian16(b, channels);
    appendLittleEndian32(b, 8000);
    appendLittleEndian32(b, 8000u * channels * bits / 8);
    appendLittleEndian16(b, static_cast<std::uint16_t>(channels * bits / 8));
    appendLittleEndian16(b, bits);
    if (tag == kExtensible) {
        appendLittleEndian16(b, 22);
        appendLittleEndian16(b, validBits);
        appendLittleEndian32(b, mask);
        appendLittleEndian16(b, subformat);
        const Bytes tail = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        b.insert(b.end(), tail.begin(), tail.end());
    }
    return b;
}

void appendLittleEndian64(Bytes& b, std::uint64_t v)
{
    appendLittleEndian32(b, static_cast<std::uint32_t>(v));
    appendLittleEndian32(b, static_cast<std::uint32_t>(v >> 32));
}

// An RF64 or BW64 form: 32-bit sizes all ones, true sizes in ds64 right after WAVE.
Bytes largeForm(const std::string& form, const Bytes& fmt, const Bytes& samples)
{
    Bytes b;
    appendText(b, form);
    appendLittleEndian32(b, 0xFFFFFFFF);
    appendText(b, "WAVEds64");
    appendLittleEndian32(b, 28);
    const std::uint64_t riffSize = 4 + 36 + 8 + fmt.size() + 8 + samples.size() + samples.size() % 2;
    appendLittleEndian64(b, riffSize);
    appendLittleEndian64(b, samples.size());
    appendLittleEndian64(b, 0);
    appendLittleEndian32(b, 0);
    appendChunk(b, "fmt ", fmt);
    appendText(b, "data");
    appendLittleEndian32(b, 0xFFFFFFFF);
    b.insert(b.end(), samples.begin(), samples.end());
    return b;
}

std::vector<float> readAllFloat(WavReader& reader)
{
    std::vector<float> all(reader.frameCount() * reader.format().channels);
    std::vector<float> block(3 * reader.format().channels);  // small: several calls
    std::size_t at = 0;
    while (const std::size_t frames = reader.readFrames(std::span(block))) {
        std::copy_n(block.begin(), frames * reader.format().channels, all.begin() + static_cast<long>(at));
        at += frames * reader.format().channels;
    }
    EXPECT_EQ(at, all.size());
    return all;
}

class WavReaderTest : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes, const std::string& name = "in.wav")
    {
        const std::string path = dir_.file(name);
        writeFile(path, bytes);
        return path;
    }
    TempDir dir_;
};

// ---- Decision 1: the forms and formats taken.

struct TakenCase {
    const char* what;
    Bytes file;
    std::uint16_t channels, bits;
    SampleEncoding encoding;
    std::uint32_t mask;
    std::vector<float> samples;
};

std::vector<TakenCase> takenCases()
{
    const Bytes s16 = {0x00, 0x40, 0x00, 0xC0};  // 0.5, -0.5
    const Bytes s24 = {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0};
    Bytes f64;
    appendLittleEndian64(f64, 0x3FD0000000000000);  // 0.25
    appendLittleEndian64(f64, 0xBFF0000000000000);  // -1.0
    return {
        {"u8 mono", riffFile({{"fmt ", fmtData(1, 1, 8)}, {"data", {0x80, 0xC0}}}), 1, 8,
         SampleEncoding::kUnsignedInteger, 0, {0.0f, 0.5f}},
        {"s16 stereo, LIST before fmt, odd JUNK before data",
         riffFile({{"LIST", {'I', 'N', 'F', 'O'}}, {"fmt ", fmtData(1, 2, 16)}, {"JUNK", {1, 2, 3}}, {"data", s16}}),
         2, 16, SampleEncoding::kSignedInteger, 0, {0.5f, -0.5f}},
        {"s24 in an 18-byte PCM fmt", riffFile({{"fmt ", [] { Bytes f = fmtData(1, 1, 24); f.push_back(0); f.push_back(0); return f; }()}, {"data", s24}}),
         1, 24, SampleEncoding::kSignedInteger, 0, {0.5f, -0.5f}},
        {"s32 extensible, 24 valid bits, mask",
         riffFile({{"fmt ", fmtData(kExtensible, 2, 32, 1, 24, 3)}, {"data", {0, 0, 0, 0x40, 0, 0, 0, 0xC0}}}), 2, 32,
         SampleEncoding::kSignedInteger, 3, {0.5f, -0.5f}},
        {"f64, data before a trailing cue ", riffFile({{"fmt ", fmtData(3, 2, 64)}, {"data", f64}, {"cue ", {0, 0, 0, 0}}}), 2, 64,
         SampleEncoding::kFloat, 0, {0.25f, -1.0f}},
        {"12-bit PCM, read as its 16-bit container", riffFile({{"fmt ", [] { Bytes f = fmtData(1, 2, 12); f[12] = 4; return f; }()}, {"data", s16}}),
         2, 16, SampleEncoding::kSignedInteger, 0, {0.5f, -0.5f}},
        {"f32 extensible", riffFile({{"fmt ", fmtData(kExtensible, 1, 32, 3, 32)}, {"data", {0, 0, 0x80, 0x3F}}}), 1, 32,
         SampleEncoding::kFloat, 0, {1.0f}},
        {"RF64 s16", largeForm("RF64", fmtData(1, 2, 16), s16), 2, 16, SampleEncoding::kSignedInteger, 0, {0.5f, -0.5f}},
        {"BW64 s24 odd data", largeForm("BW64", fmtData(1, 1, 24), {0, 0, 0x40}), 1, 24,
         SampleEncoding::kSignedInteger, 0, {0.5f}},
    };
}

TEST_F(WavReaderTest, TakesEveryFormAndFormat)
{
    for (const TakenCase& c : takenCases()) {
        SCOPED_TRACE(c.what);
        WavReader reader(write(c.file));
        EXPECT_EQ(reader.format().channels, c.channels);
        EXPECT_EQ(reader.format().sampleRate, 8000u);
        EXPECT_EQ(reader.format().bitsPerSample, c.bits);
        EXPECT_EQ(reader.format().encoding, c.encoding);
        EXPECT_EQ(reader.format().channelMask, c.mask);
        EXPECT_EQ(reader.frameCount(), c.samples.size() / c.channels);
        EXPECT_EQ(readAllFloat(reader), c.samples);
    }
}

struct RefusedCase {
    const char* what;
    Bytes fmt;
    const char* reason;
};

TEST_F(WavReaderTest, RefusesOtherFormatsWithBadFormat)
{
    Bytes badAlign = fmtData(1, 2, 16);
    badAlign[12] = 3;
    const Bytes pcm = fmtData(1, 1, 16);
    const RefusedCase cases[] = {
        {"ADPCM", fmtData(2, 1, 4), ": format 2 (ADPCM) is not PCM or float"},
        {"mu-law", fmtData(7, 1, 8), ": format 7 (µ-law) is not PCM or float"},
        {"extensible ADPCM", fmtData(kExtensible, 1, 16, 2, 16), ": extensible subformat 2 (ADPCM) is not PCM or float"},
        {"block align", badAlign, ": block align 3 is not 2 channels of 2 bytes"},
        {"16-bit float", fmtData(3, 1, 16), ": 16-bit float samples are not read"},
        {"65535-bit PCM", fmtData(1, 1, 65535), ": 65535-bit signed integer samples are not read"},
        {"fmt of 14 bytes", Bytes(pcm.begin(), pcm.begin() + 14), ": fmt chunk of 14 bytes is too short"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write(riffFile({{"fmt ", c.fmt}, {"data", {0, 0, 0, 0}}}));
        try {
            WavReader reader(path);
            ADD_FAILURE() << "opened";
        } catch (const WavError& e) {
            EXPECT_EQ(e.code(), std::error_code(WAV_ERR_BAD_FORMAT, pcmwrap::waveCategory()));
            EXPECT_EQ(std::string(e.what()), "<" + path + ">" + c.reason);
            EXPECT_EQ(std::string(e.reason()), std::string(c.reason).substr(2));
            EXPECT_TRUE(e.sampleFormatRefused());
        }
    }
}

// ---- Decision 2: streamed and unfinished files run to the end of the file.

TEST_F(WavReaderTest, DataSizeUnsetOrPastTheEndRunsToTheEndOfTheFile)
{
    const Bytes samples = {1, 0, 2, 0, 3, 0, 4, 0, 5};  // 2 whole stereo frames and a cut one
    for (const std::uint32_t claimed : {0u, 0xFFFFFFFFu, 1000u}) {
        SCOPED_TRACE(claimed);
        Bytes file = riffFile({{"fmt ", fmtData(1, 2, 16)}});
        appendText(file, "data");
        appendLittleEndian32(file, claimed);
        file.insert(file.end(), samples.begin(), samples.end());
        WavReader reader(write(file));
        EXPECT_EQ(reader.frameCount(), 2u);
        EXPECT_EQ(reader.chunks().back().size, samples.size());
        std::vector<std::int16_t> frames(8);
        ASSERT_EQ(reader.readFrames(std::span(frames)), 2u);
        EXPECT_EQ(frames[3], 4);
    }
}

// ---- Decision 3: the conversions, exactly.

struct ConversionCase {
    const char* what;
    std::uint16_t tag, bits;
    Bytes sample;
    std::int16_t asInt16;
    std::int32_t asInt32;
    float asFloat;
};

TEST_F(WavReaderTest, ConvertsEverySampleExactly)
{
    Bytes f64;
    appendLittleEndian64(f64, 0x3FB999999999999A);  // 0.1, rounded to float
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ConversionCase cases[] = {
        {"u8 lowest", 1, 8, {0x00}, -32768, INT32_MIN, -1.0f},
        {"u8 highest", 1, 8, {0xFF}, 32512, 127 << 24, 127 / 128.0f},
        {"s16", 1, 16, {0x01, 0x80}, -32767, -32767 * 65536, -32767 / 32768.0f},
        {"s24 top clips in int16", 1, 24, {0xFF, 0xFF, 0x7F}, 32767, 0x7FFFFF00, 8388607 / 8388608.0f},
        {"s24 half rounds up", 1, 24, {0x80, 0x00, 0x00}, 1, 128 << 8, 128 / 8388608.0f},
        {"s24 minus half rounds up", 1, 24, {0x80, 0xFF, 0xFF}, 0, -128 * 256, -128 / 8388608.0f},
        {"s24 lowest", 1, 24, {0x00, 0x00, 0x80}, -32768, INT32_MIN, -1.0f},
        {"s32 below half", 1, 32, {0xFF, 0x7F, 0x00, 0x00}, 0, 0x7FFF, 0x7FFF / 2147483648.0f},
        {"f32 1.0 clips", 3, 32, {0x00, 0x00, 0x80, 0x3F}, 32767, INT32_MAX, 1.0f},
        {"f32 -2.0 clips", 3, 32, {0x00, 0x00, 0x00, 0xC0}, -32768, INT32_MIN, -2.0f},
        {"f32 0.75 / 32768 rounds", 3, 32, {0x00, 0x00, 0xC0, 0x37}, 1, 49152, 0.75f / 32768},
        {"f32 NaN", 3, 32, {0x00, 0x00, 0xC0, 0x7F}, 0, 0, nan},
        {"f64 rounded to float", 3, 64, f64, 3277, 214748365, 0.1f},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.what);
        WavReader reader(write(riffFile({{"fmt ", fmtData(c.tag, 1, c.bits)}, {"data", c.sample}})));
        std::int16_t s16 = 7;
        std::int32_t s32 = 7;
        float f = 7;
        ASSERT_EQ(reader.readFrames(std::span(&s16, 1)), 1u);
        reader.seekFrame(0);
        ASSERT_EQ(reader.readFrames(std::span(&s32, 1)), 1u);
        reader.seekFrame(0);
        ASSERT_EQ(reader.readFrames(std::span(&f, 1)), 1u);
        EXPECT_EQ(s16, c.asInt16);
        EXPECT_EQ(s32, c.asInt32);
        if (std::isnan(c.asFloat)) {
            EXPECT_TRUE(std::isnan(f));
        } else {
            EXPECT_EQ(f, c.asFloat);
        }
    }
}

// Long runs go through the fastest loops the processor has; every sample still follows
// the rule, the last ones of a run included.
TEST_F(WavReaderTest, ConvertsLongRunsOf24BitSamplesByTheSameRule)
{
    const Bytes samples = randomBytes(3 * 1001, 24);
    WavReader reader(write(riffFile({{"fmt ", fmtData(1, 1, 24)}, {"data", samples}})));
    std::vector<float> floats(1001);
    ASSERT_EQ(reader.readFrames(std::span(floats)), 1001u);
    for (std::size_t i = 0; i < floats.size(); ++i) {
        const std::uint32_t u = samples[3 * i] | samples[3 * i + 1] << 8 | samples[3 * i + 2] << 16;
        const std::int32_t v = static_cast<std::int32_t>(u << 8) / 256;
        ASSERT_EQ(floats[i], static_cast<float>(v) / 8388608.0f) << i;
    }
}

// ---- Decision 5: errors say what happened.

TEST_F(WavReaderTest, ErrorsNameTheFileTheReasonAndTheLayersCode)
{
    const std::string missing = dir_.file("missing.wav");
    const std::string aiff = write(riffFile({}, "AIFF"), "aiff.wav");
    const Bytes whole = riffFile({{"fmt ", fmtData(1, 1, 16)}, {"data", {0, 0}}});
    const std::string cut = write(Bytes(whole.begin(), whole.begin() + 30), "cut.wav");
    const std::string noData = write(riffFile({{"fmt ", fmtData(1, 1, 16)}}), "nodata.wav");
    const struct {
        std::string path;
        int code;
        std::string what;
        std::string reason;
    } cases[] = {
        {missing, WAV_ERR_OPEN_FAILED, "cannot open <" + missing + ">: No such file or directory",
         "No such file or directory"},
        {dir_.path().string(), WAV_ERR_OPEN_FAILED, "cannot open <" + dir_.path().string() + ">: Is a directory",
         "Is a directory"},
        {aiff, WAV_ERR_BAD_FORMAT, "<" + aiff + "> is not a WAVE file", "not a WAVE file"},
        {cut, WAV_ERR_TRUNCATED, "<" + cut + "> ends inside its header", "cut short inside its header"},
        {noData, WAV_ERR_BAD_FORMAT, "<" + noData + "> has no data chunk", "no data chunk"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            WavReader reader(c.path);
            ADD_FAILURE() << "opened";
        } catch (const WavError& e) {
            EXPECT_EQ(e.waveCode(), std::error_code(c.code, pcmwrap::waveCategory()));
            EXPECT_EQ(std::string(e.what()), c.what);
            EXPECT_EQ(std::string(e.reason()), c.reason);
            EXPECT_FALSE(e.sampleFormatRefused());
        }
    }
}

TEST_F(WavReaderTest, ASpanOfPartFramesIsAnInvalidArgument)
{
    WavReader reader(write(riffFile({{"fmt ", fmtData(1, 2, 16)}, {"data", Bytes(8)}})));
    std::vector<float> three(3);
    EXPECT_THROW(reader.readFrames(std::span(three)), std::invalid_argument);
}

// ---- Decision 6: one walk lists every chunk; chunks are read and frames sought.

TEST_F(WavReaderTest, ListsEveryChunkInFileOrderAndReadsThem)
{
    const Bytes samples = {1, 0, 2, 0, 3, 0};
    WavReader reader(write(riffFile({{"fmt ", fmtData(1, 1, 16)},
                                     {"bext", {'a', 'b', 'c'}},
                                     {"data", samples},
                                     {"LIST", {'I', 'N', 'F', 'O', 'x'}}})));
    const auto& chunks = reader.chunks();
    ASSERT_EQ(chunks.size(), 4u);
    const std::pair<std::string, std::uint64_t> expected[] = {{"fmt ", 20}, {"bext", 44}, {"data", 56}, {"LIST", 70}};
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].id, expected[i].first);
        EXPECT_EQ(chunks[i].offset, expected[i].second);
    }
    EXPECT_EQ(chunks[1].size, 3u);
    const std::vector<std::byte> bext = reader.readChunk(chunks[1]);
    EXPECT_EQ(bext, (std::vector<std::byte>{std::byte{'a'}, std::byte{'b'}, std::byte{'c'}}));

    std::int16_t sample = 0;
    reader.seekFrame(2);
    ASSERT_EQ(reader.readFrames(std::span(&sample, 1)), 1u);
    EXPECT_EQ(sample, 3);
    EXPECT_EQ(reader.readFrames(std::span(&sample, 1)), 0u);
    // A chunk claimed past the end of the file is never allocated.
    EXPECT_THROW(reader.readChunk(pcmwrap::ChunkInfo{"huge", 8, 1u << 30}), WavError);
}

}  // namespace
