// What the probe says when there is no format to tell: noise, silence, containers, too
// little data, nothing, an unreadable file.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "probe/probe.h"
#include "tests/probe/generated_dumps.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;
using testsupport::Bytes;

ProbeResult probe(const Bytes& bytes)
{
    return pcmwrap::probe::probeBytes(std::as_bytes(std::span(bytes)));
}

TEST(ProbeVerdict, NoiseAndRandomBytesAreNeverAFormat)
{
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        const ProbeResult result = probe(testsupport::randomBytes(200000, seed));
        EXPECT_EQ(result.verdict, Verdict::kUnclear) << "seed " << seed;
        EXPECT_EQ(result.note, "no format fits");
    }
}

TEST(ProbeVerdict, SilenceIsSilent)
{
    EXPECT_EQ(probe(Bytes(100000, 0)).verdict, Verdict::kSilent);
    // A 16-bit dither of a step or two either way is silence too.
    Bytes dithered;
    for (std::uint8_t value : testsupport::randomBytes(50000, 7)) {
        const int step = value % 3 - 1;
        dithered.push_back(step < 0 ? 0xFF : 0x00);
        dithered.push_back(static_cast<std::uint8_t>(step));
    }
    EXPECT_EQ(probe(dithered).verdict, Verdict::kSilent);
}

TEST(ProbeVerdict, KnownHeadersAreContainers)
{
    const Bytes sound = probetest::generatedDump({});
    const struct {
        std::string head;
        std::string name;
    } cases[] = {
        {std::string("RIFF\x24\x10\0\0WAVEfmt ", 16), "RIFF WAVE"},
        {std::string("RF64\xFF\xFF\xFF\xFFWAVEds64", 16), "RF64 WAVE"},
        {std::string("FORM\0\0\x10\x24" "AIFFCOMM", 16), "AIFF"},
        {std::string("FORM\0\0\x10\x24" "AIFCFVER", 16), "AIFC"},
        {"fLaC", "FLAC"},
        {"OggS", "Ogg"},
        {"ID3\x04", "MP3"},
        {".snd", "Sun/NeXT .snd"},
        {"caff", "CAF"},
        // Two MPEG-1 Layer III frame headers, 128 kbit/s at 44.1 kHz: frames of 417 bytes.
        {std::string("\xFF\xFB\x90\x00", 4) + std::string(413, '\0') + std::string("\xFF\xFB\x90\x00", 4), "MP3"},
    };
    for (const auto& c : cases) {
        Bytes bytes(c.head.begin(), c.head.end());
        bytes.insert(bytes.end(), sound.begin(), sound.end());
        const ProbeResult result = probe(bytes);
        EXPECT_EQ(result.verdict, Verdict::kContainer) << c.name;
        EXPECT_EQ(result.container, c.name);
    }
}

// A 16-bit big-endian sample of -1 to -32 starts with a frame sync: a sound whose first
// samples are such is no MP3 unless a whole header and the next frame follow.
TEST(ProbeVerdict, BareFrameSyncIsNotAContainer)
{
    Bytes bytes = {0xFF, 0xFB, 0x90, 0x00};
    const Bytes sound = probetest::generatedDump({});
    bytes.insert(bytes.end(), sound.begin(), sound.end());
    EXPECT_EQ(probe(bytes).verdict, Verdict::kFormat);
}

TEST(ProbeVerdict, TooLittleDataIsUnclear)
{
    const Bytes sound = probetest::generatedDump({.frames = 100});
    const ProbeResult result = probe(sound);
    EXPECT_EQ(result.verdict, Verdict::kUnclear);
    EXPECT_EQ(result.note, "too little data");
}

// A tone whose period is a ratio of small numbers of samples repeats a short byte
// pattern, which every layout reads as a smooth tone.
TEST(ProbeVerdict, ShortRepeatedPatternIsUnclear)
{
    using pcmwrap::probe::ByteOrder;
    const std::pair<double, probetest::DumpShape> cases[] = {  // period in samples, layout
        {4.5, {.bits = 16, .byteOrder = ByteOrder::kBig, .channels = 1, .frames = 44100}},
        {6, {.bits = 24, .byteOrder = ByteOrder::kLittle, .channels = 2, .frames = 44100}},
    };
    for (const auto& [period, shape] : cases) {
        std::vector<std::vector<double>> channels(static_cast<std::size_t>(shape.channels));
        for (std::size_t c = 0; c < channels.size(); ++c) {
            for (int n = 0; n < shape.frames; ++n) {  // the channels a radian apart
                channels[c].push_back(0.5 * std::sin(2 * std::numbers::pi * n / period + c));
            }
        }
        const ProbeResult result = probe(probetest::storedDump(shape, channels));
        EXPECT_EQ(result.verdict, Verdict::kUnclear) << period << " " << probetest::specName(shape);
        EXPECT_EQ(result.note, "a short pattern repeated");
    }
}

TEST(ProbeVerdict, EmptyAndUnreadableFiles)
{
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("empty.raw"), {});
    EXPECT_EQ(pcmwrap::probe::probeFile(dir.file("empty.raw")).verdict, Verdict::kEmpty);
    const ProbeResult missing = pcmwrap::probe::probeFile(dir.file("missing.raw"));
    EXPECT_EQ(missing.verdict, Verdict::kError);
    EXPECT_EQ(missing.message, "No such file or directory");
    EXPECT_EQ(pcmwrap::probe::probeFile(dir.path()).message, "Is a directory");
}

}  // namespace
