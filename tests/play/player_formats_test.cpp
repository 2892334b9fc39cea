// pcmwrap-play on the files people have and on raw dumps: what reached the device (the
// tests' file PCM, alsa_capture.h) against sox's own 16-bit rendering without dither,
// the mixing weights, or the dump's samples.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/alsa_capture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::AlsaCapture;
using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;

ProcessResult play(const AlsaCapture& capture, const std::vector<std::string>& arguments)
{
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    return testsupport::runPcmwrapPlay(arguments, options);
}

void sox(const std::vector<std::string>& arguments)
{
    const ProcessResult result = testsupport::runProcess(PCMWRAP_SOX, arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
}

std::vector<std::int16_t> samplesOf(const Bytes& bytes)
{
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        samples.push_back(static_cast<std::int16_t>(testsupport::littleEndian16At(bytes, i)));
    }
    return samples;
}

// Big-endian 16-bit samples as the device gets them; a partial frame at the end left out.
Bytes swappedFrames(const Bytes& dump)
{
    Bytes swapped;
    for (std::size_t frame = 0; frame + 4 <= dump.size(); frame += 4) {
        swapped.insert(swapped.end(), {dump[frame + 1], dump[frame], dump[frame + 3], dump[frame + 2]});
    }
    return swapped;
}

// sox writes each encoding (24 bits and more as WAVE_FORMAT_EXTENSIBLE) from random
// 24-bit samples, so that narrowing has fractions to round; `sox -D` renders it as 16-bit
// stereo, rounding without dither, as the player must.
TEST(PlayerFormats, EachEncodingPlaysAsSoxRendersIt)
{
    struct Case {
        const char* encoding;
        const char* bits;
        const char* channels;
    };
    const Case cases[] = {{"unsigned-integer", "8", "1"}, {"signed-integer", "16", "2"}, {"signed-integer", "24", "2"},
                          {"signed-integer", "32", "1"},  {"floating-point", "32", "2"}, {"floating-point", "64", "2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + c.bits + " bits, " + c.channels + " channels");
        const TempDir dir;
        const AlsaCapture capture;
        testsupport::writeFile(dir.file("source.raw"), testsupport::randomBytes(3 * 12000, 5));
        const std::string file = dir.file("take.wav");
        sox({"-D", "-t", "raw", "-r", "44100", "-e", "signed-integer", "-b", "24", "-c", c.channels, "-L",
             dir.file("source.raw"), "-e", c.encoding, "-b", c.bits, file});
        sox({"-D", file, "-t", "raw", "-e", "signed-integer", "-b", "16", "-c", "2", "-L", dir.file("expected.raw")});
        const ProcessResult result = play(capture, {file});
        testsupport::expectCleanExit(result, 0);
        EXPECT_EQ(result.standardOutput, "Playing <" + file + ">\n");
        EXPECT_TRUE(capture.captured() == testsupport::readFile(dir.file("expected.raw")));
    }
}

// 48 kHz becomes 44100 Hz: rate x duration frames to within two (well within a slot),
// which only the resampler's tail (some 500 frames) makes up, and a 1 kHz tone still
// 1 kHz (its zero crossings counted).
TEST(PlayerFormats, OtherRatesAreResampledKeepingLengthAndPitch)
{
    const TempDir dir;
    const AlsaCapture capture;
    const std::string file = dir.file("tone.wav");
    sox({"-D", "-n", "-r", "48000", "-b", "16", "-c", "2", file, "synth", "2", "sine", "1000", "vol", "0.5"});
    const ProcessResult result = play(capture, {file});
    testsupport::expectCleanExit(result, 0);
    const std::vector<std::int16_t> samples = samplesOf(capture.captured());
    const std::size_t frames = samples.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames), 2 * 44100.0, 2);
    // Whole periods of the middle second: each has two crossings.
    int crossings = 0;
    for (std::size_t frame = 22050 + 1; frame <= 22050 + 44100; ++frame) {
        crossings += (samples[2 * frame] >= 0) != (samples[2 * (frame - 1)] >= 0);
    }
    EXPECT_NEAR(crossings / 2.0, 1000.0, 1.0);
}

// The format chunk of WAVE_FORMAT_EXTENSIBLE: 16-bit PCM with a channel mask.
Bytes extensibleFormat(WORD channels, DWORD mask)
{
    WAVEFORMATEX format = testsupport::pcmWaveFormat(channels, 44100, 16);
    format.wFormatTag = 0xFFFE;
    Bytes bytes = testsupport::formatChunkData(format);
    testsupport::appendLittleEndian16(bytes, 22);
    testsupport::appendLittleEndian16(bytes, 16);
    testsupport::appendLittleEndian32(bytes, mask);
    // KSDATAFORMAT_SUBTYPE_PCM
    const Bytes guid = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    bytes.insert(bytes.end(), guid.begin(), guid.end());
    return bytes;
}

// 5.1 in the standard order, and a quad file whose mask names side speakers: each output
// sample is the weighted sum of its frame, scaled so that full scale cannot clip.
TEST(PlayerFormats, ManyChannelsMixDownByPosition)
{
    constexpr double c = 0.70710678;
    struct Case {
        WORD channels;
        DWORD mask;  // 0: a plain PCM format chunk
        std::vector<double> left, right;
        double factor;
    };
    const Case cases[] = {
        {6, 0, {1, 0, c, 0, c, 0}, {0, 1, c, 0, 0, c}, 1 / (1 + 2 * c)},     // FL FR C LFE BL BR
        {4, 0x603, {1, 0, c, 0}, {0, 1, 0, c}, 1 / (1 + c)},                // FL FR SL SR
    };
    for (const Case& m : cases) {
        SCOPED_TRACE(std::to_string(m.channels) + " channels");
        const TempDir dir;
        const AlsaCapture capture;
        const Bytes data = testsupport::randomBytes(m.channels * 2 * 5000, 11);
        const Bytes format = m.mask == 0 ? testsupport::formatChunkData(testsupport::pcmWaveFormat(m.channels, 44100, 16))
                                         : extensibleFormat(m.channels, m.mask);
        const std::string file = dir.file("many.wav");
        testsupport::writeFile(file, testsupport::riffFile({{"fmt ", format}, {"data", data}}));
        const ProcessResult result = play(capture, {file});
        testsupport::expectCleanExit(result, 0);
        const std::vector<std::int16_t> in = samplesOf(data);
        const std::vector<std::int16_t> out = samplesOf(capture.captured());
        ASSERT_EQ(out.size(), in.size() / m.channels * 2);
        for (std::size_t frame = 0; frame < out.size() / 2; ++frame) {
            double l = 0;
            double r = 0;
            for (std::size_t ch = 0; ch < m.channels; ++ch) {
                l += m.left[ch] * in[frame * m.channels + ch];
                r += m.right[ch] * in[frame * m.channels + ch];
            }
            ASSERT_NEAR(out[2 * frame], std::floor(l * m.factor + 0.5), 1) << "frame " << frame;
            ASSERT_NEAR(out[2 * frame + 1], std::floor(r * m.factor + 0.5), 1) << "frame " << frame;
        }
    }
}

// RF64, as pcmwrap writes beyond 4 GiB: sizes of 0xFFFFFFFF, the real ones in ds64.
TEST(PlayerFormats, Rf64FilePlays)
{
    const TempDir dir;
    const AlsaCapture capture;
    const Bytes data = testsupport::randomBytes(4 * 3000, 13);
    Bytes ds64;
    const auto append64 = [&](std::uint64_t value) {
        testsupport::appendLittleEndian32(ds64, static_cast<std::uint32_t>(value));
        testsupport::appendLittleEndian32(ds64, static_cast<std::uint32_t>(value >> 32));
    };
    append64(4 + 8 + 28 + 8 + 16 + 8 + data.size());
    append64(data.size());
    append64(data.size() / 4);
    testsupport::appendLittleEndian32(ds64, 0);
    Bytes form;
    testsupport::appendText(form, "WAVE");
    testsupport::appendChunk(form, "ds64", ds64);
    testsupport::appendChunk(form, "fmt ", testsupport::formatChunkData(testsupport::pcmWaveFormat(2, 44100, 16)));
    testsupport::appendText(form, "data");
    testsupport::appendLittleEndian32(form, 0xFFFFFFFF);
    form.insert(form.end(), data.begin(), data.end());
    Bytes bytes;
    testsupport::appendText(bytes, "RF64");
    testsupport::appendLittleEndian32(bytes, 0xFFFFFFFF);
    bytes.insert(bytes.end(), form.begin(), form.end());
    const std::string file = dir.file("big.wav");
    testsupport::writeFile(file, bytes);
    const ProcessResult result = play(capture, {file});
    testsupport::expectCleanExit(result, 0);
    EXPECT_TRUE(capture.captured() == data);
}

// Big-endian 16-bit stereo, as -b16 -c2 says, and the defaults' 24-bit mono, rounded as
// sox -D renders it; the partial frame at the end is dropped.
TEST(PlayerFormats, RawDumpPlaysWithTheGivenSettings)
{
    const TempDir dir;
    const AlsaCapture capture;
    const Bytes dump = testsupport::randomBytes(4 * 5000 + 3, 17);
    // A name that looks like an option, after --.
    const std::string file = dir.file("-n1.raw");
    testsupport::writeFile(file, dump);
    const ProcessResult result = play(capture, {"-b16", "-c2", "--", file});
    testsupport::expectCleanExit(result, 0);
    EXPECT_TRUE(capture.captured() == swappedFrames(dump));

    const AlsaCapture defaults;
    const ProcessResult played = play(defaults, {"-r44100", file});
    testsupport::expectCleanExit(played, 0);
    sox({"-D", "-t", "raw", "-r", "44100", "-e", "signed-integer", "-b", "24", "-c", "1", "-B", file, "-t", "raw",
         "-e", "signed-integer", "-b", "16", "-c", "2", "-L", dir.file("expected.raw")});
    EXPECT_TRUE(defaults.captured() == testsupport::readFile(dir.file("expected.raw")));
}

// -a: a little-endian stereo dump of two tones plays as the probe tells it; noise is
// skipped with the probe's reason.
TEST(PlayerFormats, ProbedDumpPlaysAndAnUntoldOneIsSkipped)
{
    const TempDir dir;
    const AlsaCapture capture;
    const std::string told = dir.file("told.raw");
    sox({"-D", "-n", "-r", "44100", "-b", "16", "-e", "signed-integer", "-c", "2", "-L", "-t", "raw", told, "synth",
         "3", "sine", "440", "sine", "660", "tremolo", "3", "40", "vol", "0.3"});
    const std::string noise = dir.file("noise.raw");
    testsupport::writeFile(noise, testsupport::randomBytes(300000, 19));
    const ProcessResult result = play(capture, {"-a", told, noise});
    testsupport::expectCleanExit(result, 2);
    const std::string skipped = "Skipping <" + noise + ">: the probe cannot tell its format: ";
    EXPECT_EQ(result.standardOutput.substr(0, result.standardOutput.find(skipped) + skipped.size()),
              "Playing <" + told + "> as 16-bit little-endian stereo at 44100 Hz\n" + skipped);
    EXPECT_TRUE(capture.captured() == testsupport::readFile(told));
}

TEST(PlayerFormats, OptionsAreStrict)
{
    const std::string usage =
        "pcmwrap-play [-d<device>] [-r<rate>] [-b<bits>] [-f<format>] [-c<channels>] [-l] [-a] file...\n";
    const std::pair<const char*, const char*> cases[] = {
        {"-r48k", "Bad value in <-r48k>: a whole number is needed\n"},
        {"-b", "Bad value in <-b>: a whole number is needed\n"},
        {"-c4000000000", "Bad value in <-c4000000000>: a whole number is needed\n"},
        {"-lx", "Unknown option <-lx>\n"},
        {"-fs12", "Bad value in <-fs12>: a sample format is needed (u8, s8, s16, s24, s32, s24in32, f32, f64)\n"},
        {"-f", "Bad value in <-f>: a sample format is needed (u8, s8, s16, s24, s32, s24in32, f32, f64)\n"},
    };
    for (const auto& [option, message] : cases) {
        SCOPED_TRACE(option);
        const AlsaCapture capture;
        const ProcessResult result = play(capture, {option, "take.raw"});
        testsupport::expectCleanExit(result, 64);
        EXPECT_EQ(result.standardOutput, message + usage);
    }
}

// On a device that never plays, the second file's blocks still reach it behind the
// first's: no file waits for the one before to be heard.
TEST(PlayerFormats, NextFileQueuesBehindTheLastWithoutWaiting)
{
    const TempDir dir;
    const AlsaCapture capture({.paced = true, .rate = 0});
    const Bytes first = testsupport::randomBytes(4000, 23);
    const Bytes second = testsupport::randomBytes(4000, 29);
    testsupport::writeFile(dir.file("1.raw"), first);
    testsupport::writeFile(dir.file("2.raw"), second);
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    testsupport::ChildProcess child(PCMWRAP_PLAYER, {"-b16", "-c2", dir.file("1.raw"), dir.file("2.raw")}, options);
    Bytes both = swappedFrames(first);
    const Bytes secondFrames = swappedFrames(second);
    both.insert(both.end(), secondFrames.begin(), secondFrames.end());
    // The bound only turns a hang into a failure.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (capture.handed() != both && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.sendSignal(SIGINT);
    const ProcessResult result = child.wait(std::chrono::seconds(30));
    testsupport::expectCleanExit(result, 130);
    // The second is announced only when it starts to sound, which it never does here.
    EXPECT_EQ(result.standardOutput, "Playing <" + dir.file("1.raw") + ">\n");
    EXPECT_TRUE(capture.handed() == both);
}

}  // namespace
