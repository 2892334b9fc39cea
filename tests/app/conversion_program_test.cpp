// Dumps converted by the built program: the WAVE files it writes, byte for byte and as
// Python's wave module reads them, what it prints and the status it ends with, also when
// it refuses or fails.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "convert/chunk.h"
#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;
using testsupport::ExpectedPcmFormat;
using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::expectCleanExit;
using testsupport::runPcmwrapIn;

constexpr std::size_t kHeaderBytes = 56;
const std::string kDefaultSettings = "bits: <24>, rate: <44100>, channels: <1>\n";

Bytes dataOf(const Bytes& file)
{
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(std::min(kHeaderBytes, file.size())),
                 file.begin() + static_cast<std::ptrdiff_t>(std::min(kHeaderBytes + testsupport::littleEndian32At(file, 52), file.size())));
}

TEST(ConversionProgram, DefaultOptionsGiveTheSixtyTwoByteFile)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    const ProcessResult result = runPcmwrapIn(dir, {"take.raw"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "take.raw ->  take.wav\n");
    expectCleanExit(result, 0);
    const Bytes file = testsupport::readFile(dir.file("take.wav"));
    EXPECT_EQ(file.size(), 62u);
    EXPECT_EQ(file, testsupport::expectedPcmWave({}, 2, {0x03, 0x02, 0x01, 0x06, 0x05, 0x04}));
}

TEST(ConversionProgram, SamplesOfEitherWidthComeOutLeastSignificantByteFirst)
{
    TempDir dir;
    testsupport::writeFile(dir.file("short.raw"), {0x12, 0x34, 0x56, 0x78});
    testsupport::writeFile(dir.file("long.raw"), {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    expectCleanExit(runPcmwrapIn(dir, {"-b16", "short.raw"}), 0);
    expectCleanExit(runPcmwrapIn(dir, {"long.raw"}), 0);
    EXPECT_EQ(testsupport::readFile(dir.file("short.wav")),
              testsupport::expectedPcmWave({1, 44100, 16, 2, 88200}, 2, {0x34, 0x12, 0x78, 0x56}));
    EXPECT_EQ(testsupport::readFile(dir.file("long.wav")),
              testsupport::expectedPcmWave({}, 2, {0x56, 0x34, 0x12, 0xBC, 0x9A, 0x78}));
}

// Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on "d" + std::to_string(n) + ext.
std::string dumpName(std::size_t size, const char* extension)
{
    std::string name = "d";
    name += std::to_string(size);
    name += extension;
    return name;
}

TEST(ConversionProgram, DumpLengthsAroundTheChunkSize)
{
    TempDir dir;
    const std::size_t sizes[] = {0, kChunkBytes, kChunkBytes + 1, 3 * kChunkBytes + 1};
    std::vector<std::string> names;
    for (std::size_t size : sizes) {
        names.push_back(dumpName(size, ".raw"));
        testsupport::writeFile(dir.file(names.back()), testsupport::randomBytes(size, static_cast<std::uint32_t>(size)));
    }
    expectCleanExit(runPcmwrapIn(dir, names), 0);
    for (std::size_t size : sizes) {
        const Bytes dump = testsupport::randomBytes(size, static_cast<std::uint32_t>(size));
        const Bytes file = testsupport::readFile(dir.file(dumpName(size, ".wav")));
        EXPECT_EQ(file, testsupport::expectedPcmWave({}, static_cast<std::uint32_t>(size / 3),
                                                     testsupport::reversedSamples(dump, 3)))
            << size << " bytes";
    }
    EXPECT_EQ(testsupport::readFile(dir.file("d0.wav")).size(), kHeaderBytes);
}

TEST(ConversionProgram, TwoChannelsOf16BitsHaveBlockAlign4AndByteRate176400)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(kChunkBytes + 10, 2);
    testsupport::writeFile(dir.file("stereo.raw"), dump);
    expectCleanExit(runPcmwrapIn(dir, {"-c2", "-b16", "stereo.raw"}), 0);
    const Bytes file = testsupport::readFile(dir.file("stereo.wav"));
    EXPECT_EQ(testsupport::littleEndian32At(file, 28), 176400u);
    EXPECT_EQ(testsupport::littleEndian16At(file, 32), 4);
    EXPECT_EQ(file, testsupport::expectedPcmWave({2, 44100, 16, 4, 176400}, static_cast<std::uint32_t>(dump.size() / 4),
                                                 testsupport::reversedSamples(dump, 2)));
}

TEST(ConversionProgram, MissingInputAmongThreePairsIsReportedAndSkipped)
{
    TempDir dir;
    testsupport::writeFile(dir.file("first.raw"), testsupport::randomBytes(300, 1));
    testsupport::writeFile(dir.file("third.pcm"), testsupport::randomBytes(30000, 3));
    const ProcessResult result = runPcmwrapIn(dir, {"-b16", "-r48000", "first.raw", "second.raw", "third.pcm"});
    EXPECT_EQ(result.standardOutput,
              "bits: <16>, rate: <48000>, channels: <1>\n"
              "first.raw ->  first.wav\n"
              "second.raw ->  second.wav\n"
              "Error opening <second.raw>\n"
              "third.pcm ->  third.wav\n");
    expectCleanExit(result, 1);
    EXPECT_EQ(dataOf(testsupport::readFile(dir.file("third.wav"))),
              testsupport::reversedSamples(testsupport::randomBytes(30000, 3), 2));
    EXPECT_TRUE(testsupport::fileExists(dir.file("first.wav")));
    EXPECT_FALSE(testsupport::fileExists(dir.file("second.wav")));
}

// A partial last sample is completed with zeroes, never with bytes of an earlier chunk.
TEST(ConversionProgram, SevenByteDumpOf24BitSamples)
{
    TempDir dir;
    Bytes dump = testsupport::randomBytes(kChunkBytes, 9);
    const Bytes tail = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    dump.insert(dump.end(), tail.begin(), tail.end());
    testsupport::writeFile(dir.file("seven.raw"), tail);
    testsupport::writeFile(dir.file("longer.raw"), dump);
    expectCleanExit(runPcmwrapIn(dir, {"seven.raw", "longer.raw"}), 0);
    const Bytes reversedTail = {0xA2, 0xA1, 0xA0, 0xA5, 0xA4, 0xA3, 0x00};
    const Bytes seven = testsupport::readFile(dir.file("seven.wav"));
    EXPECT_EQ(seven, testsupport::expectedPcmWave({}, 2, reversedTail));
    const Bytes longer = dataOf(testsupport::readFile(dir.file("longer.wav")));
    EXPECT_EQ(Bytes(longer.end() - 7, longer.end()), reversedTail);
}

TEST(ConversionProgram, FrameCountOfFiveChannelsOf24BitsIsTheTrueCount)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(3 * kChunkBytes, 15);
    testsupport::writeFile(dir.file("five.raw"), dump);
    expectCleanExit(runPcmwrapIn(dir, {"-c5", "five.raw"}), 0);
    // 18432 bytes hold 1228 frames of 15 bytes; counting each chunk's whole frames gives 1227.
    EXPECT_EQ(testsupport::readFile(dir.file("five.wav")),
              testsupport::expectedPcmWave({5, 44100, 24, 15, 661500}, 1228, testsupport::reversedSamples(dump, 3)));
}

TEST(ConversionProgram, PythonReadsEverySampleBack)
{
    const std::string script = R"(
import sys, wave
wav, dump, width = sys.argv[1], sys.argv[2], int(sys.argv[3])
raw = open(dump, 'rb').read()
with wave.open(wav, 'rb') as w:
    print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
    frames = w.readframes(w.getnframes())
def samples(data, order):
    return [int.from_bytes(data[i:i + width], order, signed=True) for i in range(0, len(data), width)]
print('same' if samples(frames, 'little') == samples(raw, 'big') else 'different')
)";
    TempDir dir;
    testsupport::writeFile(dir.file("stereo.raw"), testsupport::randomBytes(4 * 10000, 21));
    testsupport::writeFile(dir.file("mono.raw"), testsupport::randomBytes(3 * 9999, 22));
    expectCleanExit(runPcmwrapIn(dir, {"-b16", "-c2", "-r22050", "stereo.raw"}), 0);
    expectCleanExit(runPcmwrapIn(dir, {"-r96000", "mono.raw"}), 0);
    const ProcessResult stereo = testsupport::runPython(script, {dir.file("stereo.wav"), dir.file("stereo.raw"), "2"});
    EXPECT_EQ(stereo.standardOutput, "2 2 22050 10000\nsame\n") << stereo.standardError;
    const ProcessResult mono = testsupport::runPython(script, {dir.file("mono.wav"), dir.file("mono.raw"), "3"});
    EXPECT_EQ(mono.standardOutput, "1 3 96000 9999\nsame\n") << mono.standardError;
}

TEST(ConversionProgram, OutputThatIsTheInputIsNeverCreated)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(5000, 6);
    for (const char* name : {"take.wav", "real.raw", "hard.raw", "other.wav", "next.raw"}) {
        testsupport::writeFile(dir.file(name), dump);
    }
    // The output as a symbolic link to the input, the input as one to the output, a hard link.
    std::filesystem::create_symlink("real.raw", dir.path() / "real.wav");
    std::filesystem::create_symlink("other.wav", dir.path() / "other.raw");
    std::filesystem::create_hard_link(dir.path() / "hard.raw", dir.path() / "hard.wav");
    const ProcessResult result = runPcmwrapIn(dir, {"take.wav", "real.raw", "other.raw", "hard.raw", "next.raw"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings +
                                         "take.wav ->  take.wav\n"
                                         "Error creating <take.wav>: same file as the input\n\n"
                                         "real.raw ->  real.wav\n"
                                         "Error creating <real.wav>: same file as the input\n\n"
                                         "other.raw ->  other.wav\n"
                                         "Error creating <other.wav>: same file as the input\n\n"
                                         "hard.raw ->  hard.wav\n"
                                         "Error creating <hard.wav>: same file as the input\n\n"
                                         "next.raw ->  next.wav\n");
    expectCleanExit(result, 1);
    for (const char* name : {"take.wav", "real.raw", "hard.raw", "other.wav"}) {
        EXPECT_EQ(testsupport::readFile(dir.file(name)), dump) << name;
    }
    EXPECT_EQ(testsupport::readFile(dir.file("next.wav")).size(), kHeaderBytes + 5000);
}

TEST(ConversionProgram, BitsOtherThan16Or24AreRefusedBeforeAnyFileIsMade)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(60, 8));
    const std::pair<std::string, std::string> cases[] = {{"8", "8"}, {"65552", "16"}, {"-8", "65528"}};
    for (const auto& [bits, shown] : cases) {
        const ProcessResult result = runPcmwrapIn(dir, {"-b" + bits, "-c0", "missing.raw", "take.raw", "later.raw"});
        EXPECT_EQ(result.standardOutput, "bits: <" + bits + ">, rate: <44100>, channels: <0>\n"
                                         "missing.raw ->  missing.wav\n"
                                         "Error opening <missing.raw>\n"
                                         "take.raw ->  take.wav\n"
                                         "bits per sample must be either 16 or 24 but were: <" + shown + ">\n");
        expectCleanExit(result, 2);
    }
    // Judged only for an input that opened.
    expectCleanExit(runPcmwrapIn(dir, {"-b8", "missing.raw"}), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ConversionProgram, ChannelsThatDoNotFitTheBlockAlignAreRefused)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(60, 8));
    const std::pair<std::string, std::string> cases[] = {
        {"-b16", "-c0"}, {"-b16", "-c32768"}, {"-b24", "-c21846"}, {"-b24", "-c-3"}};
    const std::string expectedEnds[] = {"<32767> but were: <0>\n", "<32767> but were: <32768>\n",
                                        "<21845> but were: <21846>\n", "<21845> but were: <-3>\n"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const ProcessResult result = runPcmwrapIn(dir, {cases[i].first, cases[i].second, "take.raw"});
        const std::string& out = result.standardOutput;
        EXPECT_EQ(out.substr(out.find("take.raw ->  take.wav\n")),
                  "take.raw ->  take.wav\nchannels must be from 1 to " + expectedEnds[i]);
        expectCleanExit(result, 2);
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("take.wav")));
}

TEST(ConversionProgram, FailedCreationEndsTheRunWithTheMessageAndStatus4)
{
    TempDir dir;
    // The longest name a file may have: its output name, four characters longer, cannot be made.
    const std::string take(255, 't');
    testsupport::writeFile(dir.file(take), testsupport::randomBytes(60, 8));
    testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(60, 8));
    const ProcessResult result = runPcmwrapIn(dir, {take, "next.raw"});
    EXPECT_EQ(result.standardOutput,
              kDefaultSettings + take + " ->  " + take + ".wav\nError creating <" + take + ".wav>, code <57604>\n\n");
    expectCleanExit(result, 4);
    EXPECT_FALSE(testsupport::fileExists(dir.file("next.wav")));
}

TEST(ConversionProgram, FailedWriteEndsTheRunWithTheMessageAndItsStatus)
{
    TempDir dir;
    testsupport::writeFile(dir.file("full.raw"), testsupport::randomBytes(60, 8));
    testsupport::writeFile(dir.file("big.raw"), testsupport::randomBytes(600000, 8));
    testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(60, 8));
    // A limit below the header: the file's only flush, as it is closed, fails.
    const ProcessResult full = runPcmwrapIn(dir, {"full.raw", "next.raw"}, 20);
    EXPECT_EQ(full.standardOutput, kDefaultSettings + "full.raw ->  full.wav\nError writing to <full.wav>, code <262>\n\n");
    expectCleanExit(full, 6);
    EXPECT_FALSE(testsupport::fileExists(dir.file("next.wav")));

    // The same failure in the middle of a dump, from a file size limit.
    const ProcessResult limited = runPcmwrapIn(dir, {"big.raw", "next.raw"}, 300000);
    EXPECT_EQ(limited.standardOutput, kDefaultSettings + "big.raw ->  big.wav\nError writing to <big.wav>, code <262>\n\n");
    expectCleanExit(limited, 6);
    EXPECT_LE(std::filesystem::file_size(dir.path() / "big.wav"), 300000u);
}

TEST(ConversionProgram, LittleEndianDumpsAreCopiedAsTheyAre)
{
    TempDir dir;
    // Longer than a chunk and ending inside a frame: the whole frames are the dump's bytes.
    const Bytes dump = testsupport::randomBytes(2 * kChunkBytes + 7, 69);
    testsupport::writeFile(dir.file("take.raw"), dump);
    for (const auto& [bits, channels, frameBytes] : {std::tuple{"16", "2", 4u}, std::tuple{"24", "3", 9u}}) {
        const ProcessResult result = runPcmwrapIn(dir, {"-l", std::string("-b") + bits, std::string("-c") + channels, "take.raw"});
        EXPECT_EQ(result.standardOutput, std::string("bits: <") + bits + ">, rate: <44100>, channels: <" + channels +
                                             ">, byte order: <little>\ntake.raw ->  take.wav\n");
        expectCleanExit(result, 0);
        const std::size_t frames = dump.size() / frameBytes;
        const ProcessResult python = testsupport::runPython(testsupport::kPythonWaveReader, {dir.file("take.wav")});
        EXPECT_EQ(python.standardOutput, std::string(channels) + " " + std::to_string(frameBytes / std::stoul(channels)) +
                                             " 44100 " + std::to_string(frames) + "\n" +
                                             testsupport::hexOf(Bytes(dump.begin(), dump.begin() + frames * frameBytes)))
            << python.standardError;
    }
}

}  // namespace
