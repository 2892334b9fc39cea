// -f<format>, -s<bytes> and -m<mask> through the built program: the WAVE files it writes
// for every sample format and byte order, byte for byte against bytes computed here and as
// independent readers read them, the settings line, and what it refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using namespace testsupport;

struct Format {
    const char* name;
    std::size_t dumpBytes;  // of one sample in the dump
    std::size_t fileBytes;  // in the WAVE file
    std::uint16_t tag;      // 1 PCM, 3 IEEE float
};

const Format kFormats[] = {
    {"u8", 1, 1, 1},  {"s8", 1, 1, 1},      {"s16", 2, 2, 1}, {"s24", 3, 3, 1},
    {"s32", 4, 4, 1}, {"s24in32", 4, 3, 1}, {"f32", 4, 4, 3}, {"f64", 8, 8, 3},
};

// The dump bytes of one sample whose file bytes (least significant first) are `file`.
Bytes dumpSample(const Format& format, Bytes file, bool little, std::size_t index)
{
    const std::string name = format.name;
    if (name == "s8") {
        return {static_cast<std::uint8_t>(file[0] ^ 0x80)};
    }
    if (name == "s24in32") {
        // The high byte: the sign extension of bit 23, or 0 (both allowed) every other sample.
        const bool negative = (file[2] & 0x80) != 0;
        file.push_back(negative && index % 2 == 0 ? 0xFF : 0x00);
    }
    if (!little) {
        std::reverse(file.begin(), file.end());
    }
    return file;
}

// The file bytes of a sample the dump holds only `k` bytes of: completed with zero
// bytes, converted, and cut to the bytes the dump held, at most a sample's.
Bytes partialFileSample(const Format& format, const Bytes& dumpPart, bool little)
{
    Bytes padded = dumpPart;
    padded.resize(format.dumpBytes, 0);
    if (!little) {
        std::reverse(padded.begin(), padded.end());
    }
    if (std::string(format.name) == "s8") {
        padded[0] ^= 0x80;
    }
    padded.resize(std::min(dumpPart.size(), format.fileBytes));
    return padded;
}

Bytes expectedWave(const Format& format, std::uint16_t channels, std::uint32_t frames, const Bytes& data)
{
    const auto blockAlign = static_cast<std::uint16_t>(channels * format.fileBytes);
    return expectedPcmWave({channels, 44100, static_cast<std::uint16_t>(8 * format.fileBytes), blockAlign,
                            44100u * blockAlign, format.tag},
                           frames, data);
}

struct Case {
    Format format;
    bool little;
    std::uint16_t channels;
};

std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return std::string(info.param.format.name) + (info.param.little ? "Little" : "Big") +
           std::to_string(info.param.channels) + "Channels";
}

std::vector<Case> everyCase()
{
    std::vector<Case> cases;
    for (const Format& format : kFormats) {
        for (const bool little : {false, true}) {
            for (const std::uint16_t channels : {std::uint16_t{1}, std::uint16_t{3}}) {
                cases.push_back({format, little, channels});
            }
        }
    }
    return cases;
}

class SampleFormats : public testing::TestWithParam<Case> {};

// Enough frames to pass the file's 256 KiB I/O buffer at the widest formats; the dump
// ends in an incomplete frame: with 3 channels a whole sample and one byte of the next,
// in mono one byte of a sample (none for 8 bits).
TEST_P(SampleFormats, EveryFormatAndByteOrderGivesTheFileSamples)
{
    const Case& c = GetParam();
    constexpr std::uint32_t kFrames = 12000;
    const Bytes values = randomBytes(kFrames * c.channels * c.format.fileBytes + c.format.fileBytes, 41);
    Bytes dump;
    Bytes data;
    auto addSample = [&](std::size_t index) {
        Bytes file(values.begin() + static_cast<std::ptrdiff_t>(index * c.format.fileBytes),
                   values.begin() + static_cast<std::ptrdiff_t>((index + 1) * c.format.fileBytes));
        if (c.format.tag == 3 && index < 2) {
            // A NaN and a value beyond full scale go through unchanged.
            const double value = index == 0 ? std::nan("") : 3.5;
            if (c.format.fileBytes == 8) {
                std::memcpy(file.data(), &value, 8);
            } else {
                const auto single = static_cast<float>(value);
                std::memcpy(file.data(), &single, 4);
            }
        }
        const Bytes sample = dumpSample(c.format, file, c.little, index);
        dump.insert(dump.end(), sample.begin(), sample.end());
        data.insert(data.end(), file.begin(), file.end());
    };
    const std::size_t samples = std::size_t{kFrames} * c.channels;
    for (std::size_t i = 0; i < samples; ++i) {
        addSample(i);
    }
    if (c.channels == 3) {
        addSample(samples);
    }
    if (c.format.dumpBytes > 1) {
        const Bytes part = {0x5A};
        dump.push_back(part[0]);
        const Bytes file = partialFileSample(c.format, part, c.little);
        data.insert(data.end(), file.begin(), file.end());
    }
    const TempDir dir;
    writeFile(dir.file("take.raw"), dump);
    std::vector<std::string> arguments = {std::string("-f") + c.format.name, "-c" + std::to_string(c.channels)};
    if (c.little) {
        arguments.push_back("-l");
    }
    arguments.push_back("take.raw");
    const ProcessResult result = runPcmwrapIn(dir, arguments);

    expectCleanExit(result, 0);
    EXPECT_EQ(readFile(dir.file("take.wav")), expectedWave(c.format, c.channels, kFrames, data));
}

INSTANTIATE_TEST_SUITE_P(Formats, SampleFormats, testing::ValuesIn(everyCase()), caseName);

// Independent readers take the new outputs: Python's wave the PCM ones, ffmpeg's stream
// copy the float ones, each giving back the sample bytes.
TEST(SampleFormatsRead, IndependentReadersGiveBackTheSamples)
{
    const TempDir dir;
    const Bytes dump = randomBytes(3 * 8 * 1000, 43);
    writeFile(dir.file("take.raw"), dump);
    for (const char* format : {"u8", "s32"}) {
        expectCleanExit(runPcmwrapIn(dir, {std::string("-f") + format, "-l", "-c3", "take.raw"}), 0);
        const ProcessResult python = runPython(kPythonWaveReader, {dir.file("take.wav")});
        ASSERT_EQ(python.exitStatus, 0) << python.standardError;
        const std::size_t width = std::string(format) == "u8" ? 1 : 4;
        EXPECT_EQ(python.standardOutput, "3 " + std::to_string(width) + " 44100 " +
                                             std::to_string(dump.size() / (3 * width)) + "\n" + hexOf(dump));
    }
    for (const auto& [format, raw] : {std::pair{"f32", "f32le"}, std::pair{"f64", "f64le"}}) {
        expectCleanExit(runPcmwrapIn(dir, {std::string("-f") + format, "-l", "-c3", "take.raw"}), 0);
        const ProcessResult ffmpeg = runProcess(PCMWRAP_FFMPEG, {"-loglevel", "error", "-nostdin", "-i",
                                                                 dir.file("take.wav"), "-c", "copy", "-f", raw, "-"});
        ASSERT_EQ(ffmpeg.exitStatus, 0) << ffmpeg.standardError;
        EXPECT_EQ(ffmpeg.standardOutput, std::string(dump.begin(), dump.end())) << format;
    }
}

TEST(SampleFormatsSettings, TheSettingsLineForEachForm)
{
    const TempDir dir;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-b16"}, "bits: <16>, rate: <44100>, channels: <1>"},
        {{"-b24", "-l"}, "bits: <24>, rate: <44100>, channels: <1>, byte order: <little>"},
        {{"-fs16"}, "bits: <16>, rate: <44100>, channels: <1>"},
        {{"-fu8", "-c2"}, "bits: <8>, rate: <44100>, channels: <2>, encoding: <unsigned>"},
        {{"-fs8"}, "bits: <8>, rate: <44100>, channels: <1>"},
        {{"-fs32", "-l"}, "bits: <32>, rate: <44100>, channels: <1>, byte order: <little>"},
        {{"-fs24in32", "-l"}, "bits: <24>, rate: <44100>, channels: <1>, container: <32>, byte order: <little>"},
        {{"-ff32", "-r48000"}, "bits: <32>, rate: <48000>, channels: <1>, encoding: <float>"},
        {{"-ff64", "-l"}, "bits: <64>, rate: <44100>, channels: <1>, encoding: <float>, byte order: <little>"},
        // The last of -b and -f decides.
        {{"-ff32", "-b16"}, "bits: <16>, rate: <44100>, channels: <1>"},
        {{"-b16", "-fu8"}, "bits: <8>, rate: <44100>, channels: <1>, encoding: <unsigned>"},
    };
    for (const auto& [options, line] : cases) {
        std::vector<std::string> arguments = options;
        arguments.push_back("missing.raw");
        const ProcessResult result = runPcmwrapIn(dir, arguments);
        EXPECT_EQ(result.standardOutput, line + "\nmissing.raw ->  missing.wav\nError opening <missing.raw>\n")
            << testing::PrintToString(options);
        expectCleanExit(result, 1);
    }
}

TEST(SampleFormatsRefusals, BadValuesOfTheNewOptionsStopTheRun)
{
    const TempDir dir;
    writeFile(dir.file("take.raw"), randomBytes(100, 1));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-fs12"}, "Bad value in <-fs12>: a sample format is needed (u8, s8, s16, s24, s32, s24in32, f32, f64)"},
        {{"-f"}, "Bad value in <-f>: a sample format is needed (u8, s8, s16, s24, s32, s24in32, f32, f64)"},
        {{"-s-1"}, "Bad value in <-s-1>: a byte count from 0 to 9223372036854775807 is needed"},
        {{"-s9223372036854775808"},
         "Bad value in <-s9223372036854775808>: a byte count from 0 to 9223372036854775807 is needed"},
        {{"-m0x1FFFFFFFF"},
         "Bad value in <-m0x1FFFFFFFF>: a speaker mask is needed (decimal or 0x hex, at most 0xFFFFFFFF)"},
        {{"-mfront"}, "Bad value in <-mfront>: a speaker mask is needed (decimal or 0x hex, at most 0xFFFFFFFF)"},
        {{"-m7", "-c2"}, "Bad value in <-m7>: the mask names <3> speakers for <2> channels"},
        {{"-c2", "-m0x4"}, "Bad value in <-m0x4>: the mask names <1> speakers for <2> channels"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> arguments = options;
        arguments.push_back("take.raw");
        const ProcessResult result = runPcmwrapIn(dir, arguments);
        EXPECT_EQ(result.standardOutput,
                  message + "\n\npcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile...\n")
            << testing::PrintToString(options);
        expectCleanExit(result, 64);
    }
    EXPECT_FALSE(fileExists(dir.file("take.wav")));
}

// s24in32 drops each word's high byte: one that is neither 0 nor the sign extension of
// bit 23 stops that dump, which keeps the whole frames before that word's frame, and the
// run goes on. With 5 channels a frame (20 bytes) straddles the first two chunks.
struct ForeignCase {
    const char* name;
    bool little;
    std::uint16_t channels;
    std::size_t goodSamples;  // before the foreign word
};

class ForeignHighByte : public testing::TestWithParam<ForeignCase> {};

TEST_P(ForeignHighByte, StopsTheDumpAndTheRunGoesOn)
{
    const ForeignCase& c = GetParam();
    const TempDir dir;
    // 4 header bytes skipped with -s4, then good words, then a word whose high byte is
    // 0xFF while bit 23 is clear, then a good one.
    Bytes dump = {'H', 'E', 'A', 'D'};
    const Bytes values = randomBytes(c.goodSamples * 3, 44);
    auto word = [&](std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t high) {
        const Bytes bytes = c.little ? Bytes{b0, b1, b2, high} : Bytes{high, b2, b1, b0};
        dump.insert(dump.end(), bytes.begin(), bytes.end());
    };
    for (std::size_t i = 0; i < c.goodSamples; ++i) {
        const std::uint8_t b2 = values[3 * i + 2];
        word(values[3 * i], values[3 * i + 1], b2, (b2 & 0x80) != 0 ? 0xFF : 0x00);
    }
    word(1, 2, 0x7F, 0xFF);
    word(1, 2, 3, 0x00);
    writeFile(dir.file("take.raw"), dump);
    writeFile(dir.file("next.raw"), Bytes(64, 0));
    std::vector<std::string> arguments = {"-fs24in32", "-c" + std::to_string(c.channels), "-s4"};
    if (c.little) {
        arguments.push_back("-l");
    }
    arguments.insert(arguments.end(), {"take.raw", "next.raw"});
    const ProcessResult result = runPcmwrapIn(dir, arguments);

    expectCleanExit(result, 1);
    const std::string order = c.little ? ", byte order: <little>" : "";
    EXPECT_EQ(result.standardOutput, "bits: <24>, rate: <44100>, channels: <" + std::to_string(c.channels) +
                                         ">, container: <32>" + order +
                                         "\ntake.raw ->  take.wav\n"
                                         "Error reading <take.raw>: not 24-bit samples in 32-bit words (byte offset <" +
                                         std::to_string(4 + c.goodSamples * 4) + ">)\n\nnext.raw ->  next.wav\n");
    const std::size_t frames = c.goodSamples / c.channels;
    const std::size_t dataBytes = frames * c.channels * 3;
    const Bytes file = readFile(dir.file("take.wav"));
    ASSERT_EQ(file.size(), 56u + dataBytes + dataBytes % 2);
    EXPECT_EQ(littleEndian32At(file, 52), dataBytes);
    EXPECT_EQ(Bytes(file.begin() + 56, file.begin() + 56 + static_cast<std::ptrdiff_t>(dataBytes)),
              Bytes(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(dataBytes)));
    EXPECT_EQ(littleEndian32At(file, 44), frames);
    EXPECT_TRUE(fileExists(dir.file("next.wav")));
}

INSTANTIATE_TEST_SUITE_P(Cases, ForeignHighByte,
                         testing::Values(ForeignCase{"BigStereo", false, 2, 2001},
                                         ForeignCase{"LittleStereo", true, 2, 2001},
                                         // Frame 307 starts 4 bytes before the second chunk.
                                         ForeignCase{"FrameAcrossTwoChunks", true, 5, 1536}),
                         [](const testing::TestParamInfo<ForeignCase>& info) { return info.param.name; });

// -s: the samples start past the skipped bytes, in the kernel copy and in the converting
// path; a dump shorter than the skip is converted as empty.
TEST(SampleFormatsSkip, SamplesStartPastTheSkippedBytes)
{
    const TempDir dir;
    const Bytes dump = randomBytes(70007, 46);
    writeFile(dir.file("take.raw"), dump);
    const Bytes rest(dump.begin() + 7, dump.end());
    expectCleanExit(runPcmwrapIn(dir, {"-s7", "-fs16", "-l", "take.raw"}), 0);
    Bytes file = readFile(dir.file("take.wav"));
    EXPECT_EQ(Bytes(file.begin() + 56, file.begin() + 56 + static_cast<std::ptrdiff_t>(rest.size())), rest);
    EXPECT_EQ(littleEndian32At(file, 52), rest.size());

    expectCleanExit(runPcmwrapIn(dir, {"-s70001", "-b16", "take.raw"}), 0);
    file = readFile(dir.file("take.wav"));
    EXPECT_EQ(Bytes(file.begin() + 56, file.begin() + 62), (Bytes{dump[70002], dump[70001], dump[70004], dump[70003],
                                                                   dump[70006], dump[70005]}));

    expectCleanExit(runPcmwrapIn(dir, {"-s80000", "take.raw"}), 0);
    EXPECT_EQ(readFile(dir.file("take.wav")).size(), 56u);
}

// -m writes WAVE_FORMAT_EXTENSIBLE: cbSize 22, valid bits, the mask and the subformat
// of the samples (PCM or float); -m0 names no positions.
TEST(SampleFormatsMask, TheMaskGivesAnExtensibleFormat)
{
    const TempDir dir;
    writeFile(dir.file("take.raw"), randomBytes(4 * 3 * 10, 47));
    struct MaskCase {
        std::vector<std::string> options;
        std::uint16_t channels, bits, code;
        std::uint32_t mask;
    };
    const MaskCase cases[] = {
        {{"-fs16", "-c2", "-m0x3"}, 2, 16, 1, 3},
        {{"-ff32", "-c3", "-m0"}, 3, 32, 3, 0},
        {{"-fs32", "-c3", "-m7"}, 3, 32, 1, 7},
    };
    for (const MaskCase& c : cases) {
        std::vector<std::string> arguments = c.options;
        arguments.push_back("take.raw");
        expectCleanExit(runPcmwrapIn(dir, arguments), 0);
        const Bytes file = readFile(dir.file("take.wav"));
        ASSERT_GE(file.size(), 80u);
        EXPECT_EQ(littleEndian32At(file, 16), 40u);            // fmt size
        EXPECT_EQ(littleEndian16At(file, 20), 0xFFFEu);        // extensible
        EXPECT_EQ(littleEndian16At(file, 22), c.channels);
        EXPECT_EQ(littleEndian16At(file, 34), c.bits);
        EXPECT_EQ(littleEndian16At(file, 36), 22u);             // cbSize
        EXPECT_EQ(littleEndian16At(file, 38), c.bits);          // valid bits
        EXPECT_EQ(littleEndian32At(file, 40), c.mask);
        EXPECT_EQ(Bytes(file.begin() + 44, file.begin() + 60),
                  (Bytes{static_cast<std::uint8_t>(c.code), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B,
                         0x71}));
        EXPECT_EQ(std::string(file.begin() + 60, file.begin() + 64), "fact");
        const ProcessResult probe = runProcess(PCMWRAP_FFPROBE, {"-v", "error", "-show_entries",
                                                                 "stream=channels,channel_layout", "-of",
                                                                 "default=noprint_wrappers=1", dir.file("take.wav")});
        ASSERT_EQ(probe.exitStatus, 0) << probe.standardError;
        EXPECT_NE(probe.standardOutput.find("channels=" + std::to_string(c.channels)), std::string::npos)
            << probe.standardOutput;
    }
}

}  // namespace

namespace {

// Whether a dump needs RF64 is judged on the bytes it gives the file, not its own: 1200
// bytes of s24in32 give 900, a RIFF file under a ceiling of 1000 bytes; f64 gives as
// many as it holds, past the ceiling, RF64.
TEST(SampleFormatsRf64, TheFileBytesDecideRf64)
{
    const TempDir dir;
    writeFile(dir.file("take.raw"), Bytes(1200, 0));
    ProcessOptions options;
    options.workingDirectory = dir.path().string();
    for (const auto& [format, form] : {std::pair{"-fs24in32", "RIFF"}, std::pair{"-ff64", "RF64"}}) {
        const ProcessResult result =
            runProcess(PCMWRAP_UNDER_CEILING_PROGRAM, {"1000", format, "-l", "take.raw"}, options);
        expectCleanExit(result, 0);
        const Bytes file = readFile(dir.file("take.wav"));
        EXPECT_EQ(std::string(file.begin(), file.begin() + 4), form) << format;
    }
}

}  // namespace
