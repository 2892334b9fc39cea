// The converter as shell scripts use it (pcmwrap *.raw && rm *.raw, find -exec pcmwrap {} +):
// a pair that is not converted never reads as success, no output lands on a file the run
// reads or wrote before, and a file left behind by a failure or a signal stays readable.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/expected_wave.h"
#include "tests/support/fifo_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::expectCleanExit;
using testsupport::openFifoForWriting;
using testsupport::runPcmwrapIn;
namespace fs = std::filesystem;

const std::string kDefaultSettings = "bits: <24>, rate: <44100>, channels: <1>\n";
constexpr std::size_t kHeaderBytes = 56;

// A file cut short by a failure, settled over what reached the disk: 24-bit mono, every
// size and the frame count describing the data bytes it holds (no pad byte where the disk
// took none), and Python's wave module reading exactly its whole frames.
void expectSettled(const std::string& name, const Bytes& dump, std::size_t fileLength)
{
    const Bytes file = testsupport::readFile(name);
    ASSERT_EQ(file.size(), fileLength);
    const std::size_t dataBytes = fileLength - kHeaderBytes;
    const std::uint32_t frames = static_cast<std::uint32_t>(dataBytes / 3);
    const Bytes converted = testsupport::reversedSamples(dump, 3);
    Bytes expected = testsupport::expectedPcmWave({}, frames, Bytes(converted.begin(), converted.begin() + dataBytes));
    expected.resize(fileLength);
    Bytes riffSize;
    testsupport::appendLittleEndian32(riffSize, static_cast<std::uint32_t>(fileLength - 8));
    std::copy(riffSize.begin(), riffSize.end(), expected.begin() + 4);
    EXPECT_EQ(file, expected);

    const ProcessResult python = testsupport::runPython(testsupport::kPythonWaveReader, {name});
    ASSERT_EQ(python.exitStatus, 0) << python.standardError;
    EXPECT_EQ(python.standardOutput, "1 3 44100 " + std::to_string(frames) + "\n" +
                                         testsupport::hexOf(Bytes(converted.begin(), converted.begin() + frames * 3)));
}

TEST(ScriptSafety, OutputNamesComeFromTheLastPathComponent)
{
    TempDir dir;
    fs::create_directories(dir.path() / "work/dumps.old");
    fs::create_directories(dir.path() / "d");
    const std::vector<std::string> inputs = {"./take1", "dumps.old/take1", "../d/take2", ".take", "a.b.c"};
    const std::vector<std::string> outputs = {"./take1.wav", "dumps.old/take1.wav", "../d/take2.wav", ".take.wav",
                                              "a.b.wav"};
    std::string expected = kDefaultSettings;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        testsupport::writeFile((dir.path() / "work" / inputs[i]).string(), testsupport::randomBytes(30, 40));
        expected += inputs[i] + " ->  " + outputs[i] + "\n";
    }
    testsupport::ProcessOptions options;
    options.workingDirectory = (dir.path() / "work").string();
    const ProcessResult result = testsupport::runPcmwrap(inputs, options);
    EXPECT_EQ(result.standardOutput, expected);
    expectCleanExit(result, 0);
    for (const std::string& output : outputs) {
        EXPECT_EQ(testsupport::readFile((dir.path() / "work" / output).string()),
                  testsupport::expectedPcmWave({}, 10, testsupport::reversedSamples(testsupport::randomBytes(30, 40), 3)))
            << output;
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("work/.wav")));
}


TEST(ScriptSafety, RatesBelow1OrWithAByteRatePast32BitsAreRefusedBeforeAnyFileIsMade)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(60, 41));
    struct Case {
        std::vector<std::string> options;
        std::string settings;
        std::string refusal;
    };
    const Case cases[] = {
        {{"-r0"}, "bits: <24>, rate: <0>, channels: <1>\n", "rate must be from 1 to <1431655765> but was: <0>\n"},
        {{"-r-5"}, "bits: <24>, rate: <-5>, channels: <1>\n", "rate must be from 1 to <1431655765> but was: <-5>\n"},
        {{"-r1431655766"}, "bits: <24>, rate: <1431655766>, channels: <1>\n",
         "rate must be from 1 to <1431655765> but was: <1431655766>\n"},
        {{"-b16", "-c2", "-r1073741824"}, "bits: <16>, rate: <1073741824>, channels: <2>\n",
         "rate must be from 1 to <1073741823> but was: <1073741824>\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), {"missing.raw", "take.raw", "later.raw"});
        const ProcessResult result = runPcmwrapIn(dir, arguments);
        EXPECT_EQ(result.standardOutput, c.settings + "missing.raw ->  missing.wav\nError opening <missing.raw>\n"
                                                      "take.raw ->  take.wav\n" + c.refusal);
        expectCleanExit(result, 2);
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("take.wav")));
    // The largest rate of each format is taken, and its byte rate is exact.
    expectCleanExit(runPcmwrapIn(dir, {"-b16", "-r2147483647", "take.raw"}), 0);
    EXPECT_EQ(testsupport::littleEndian32At(testsupport::readFile(dir.file("take.wav")), 28), 0xFFFFFFFEu);
}

TEST(ScriptSafety, APairThatIsNotConvertedMakesTheRunFail)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(30, 42));
    ProcessResult result = runPcmwrapIn(dir, {"missing.raw", "take.raw"});
    EXPECT_EQ(result.standardOutput,
              kDefaultSettings + "missing.raw ->  missing.wav\nError opening <missing.raw>\ntake.raw ->  take.wav\n");
    expectCleanExit(result, 1);
    EXPECT_TRUE(testsupport::fileExists(dir.file("take.wav")));
    // A later failure of the wave layer still ends the run with its own status.
    testsupport::writeFile(dir.file("full.raw"), testsupport::randomBytes(30, 42));
    result = runPcmwrapIn(dir, {"missing.raw", "full.raw", "take.raw"}, 20);
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "missing.raw ->  missing.wav\nError opening <missing.raw>\n"
                                                        "full.raw ->  full.wav\nError writing to <full.wav>, code <262>\n\n");
    expectCleanExit(result, 6);
}

TEST(ScriptSafety, NoOutputOverwritesAnyInputOfTheRun)
{
    TempDir dir;
    const Bytes song = testsupport::randomBytes(300, 43);
    const Bytes wave = testsupport::randomBytes(200, 44);
    testsupport::writeFile(dir.file("song.raw"), song);
    testsupport::writeFile(dir.file("song.wav"), wave);
    const ProcessResult result = runPcmwrapIn(dir, {"song.raw", "./song.wav", "song.wav"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings +
                                         "song.raw ->  song.wav\n"
                                         "Error creating <song.wav>: same file as the input <./song.wav>\n\n"
                                         "./song.wav ->  ./song.wav\n"
                                         "Error creating <./song.wav>: same file as the input\n\n"
                                         "song.wav ->  song.wav\n"
                                         "Error creating <song.wav>: same file as the input\n\n");
    expectCleanExit(result, 1);
    EXPECT_EQ(testsupport::readFile(dir.file("song.raw")), song);
    EXPECT_EQ(testsupport::readFile(dir.file("song.wav")), wave);
}

TEST(ScriptSafety, NoOutputOfTheRunIsOverwrittenByALaterPair)
{
    TempDir dir;
    const Bytes first = testsupport::randomBytes(600, 45);
    testsupport::writeFile(dir.file("take1.raw"), first);
    testsupport::writeFile(dir.file("take1.pcm"), testsupport::randomBytes(9, 46));
    testsupport::writeFile(dir.file("take1.bin"), testsupport::randomBytes(9, 47));
    const ProcessResult result = runPcmwrapIn(dir, {"take1.raw", "take1.pcm", "./take1.bin"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings +
                                         "take1.raw ->  take1.wav\n"
                                         "take1.pcm ->  take1.wav\n"
                                         "Error creating <take1.wav>: already written from <take1.raw>\n\n"
                                         "./take1.bin ->  ./take1.wav\n"
                                         "Error creating <./take1.wav>: already written from <take1.raw>\n\n");
    expectCleanExit(result, 1);
    EXPECT_EQ(testsupport::readFile(dir.file("take1.wav")),
              testsupport::expectedPcmWave({}, 200, testsupport::reversedSamples(first, 3)));
}

TEST(ScriptSafety, AFailedOutputIsStillAReadableFile)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(3 * 6144, 48);
    // The RIFF size limit, lowered: two chunks and 101 bytes fit, and no pad byte after them.
    // From a FIFO, whose size is not known in advance (a regular file past the limit would
    // become an RF64 file).
    ASSERT_EQ(mkfifo(dir.file("big.raw").c_str(), 0600), 0);
    const std::size_t ceiling = kHeaderBytes + 2 * 6144 + 101;
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    testsupport::ChildProcess child(PCMWRAP_UNDER_CEILING_PROGRAM, {std::to_string(ceiling), "big.raw"}, options);
    const int fifo = openFifoForWriting(dir.file("big.raw"));
    ASSERT_GE(fifo, 0);
    // Fits the pipe's buffer, so it is written whole whenever the converter stops reading.
    EXPECT_EQ(write(fifo, dump.data(), dump.size()), static_cast<ssize_t>(dump.size()));
    close(fifo);
    ProcessResult result = child.wait(std::chrono::seconds(10));
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "big.raw ->  big.wav\nError writing to <big.wav>, code <264>\n\n");
    expectCleanExit(result, 8);
    expectSettled(dir.file("big.wav"), dump, ceiling);

    // A stream failure met by a write failure (the file size limit, found when the file is
    // finished): only the stream failure, which came first, is reported, and the file is settled.
    const Bytes longer = testsupport::randomBytes(200001, 49);
    testsupport::writeFile(dir.file("take.raw"), longer);
    options.fileSizeLimit = 30000;
    options.extraEnvironment = {
        std::string("LD_PRELOAD=") + PCMWRAP_FAILING_READ_LIBRARY,
        "PCMWRAP_FAIL_READ_PATH=" + fs::canonical(dir.file("take.raw")).string(),
        "PCMWRAP_FAIL_READ_AFTER=65536",
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1",
    };
    result = testsupport::runPcmwrap({"take.raw"}, options);
    const std::string start = kDefaultSettings + "take.raw ->  take.wav\nfailed: ";
    EXPECT_EQ(result.standardOutput.substr(0, start.size()), start) << result.standardOutput;
    EXPECT_EQ(result.standardOutput.find('\n', start.size()), result.standardOutput.size() - 1);
    expectCleanExit(result, 1);
    expectSettled(dir.file("take.wav"), longer, 30000);
}

// A regular file past the (lowered) RIFF limit gives an RF64 file; cut short by a file size
// limit, it is settled like a RIFF file, with its sizes in the ds64 chunk.
TEST(ScriptSafety, AFailedRf64OutputIsSettledInItsDs64Chunk)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(3 * 6144, 54);
    testsupport::writeFile(dir.file("big.raw"), dump);
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.fileSizeLimit = 10001;  // 92 header bytes and 9909 data bytes: no room for the pad byte
    const ProcessResult result =
        testsupport::runProcess(PCMWRAP_UNDER_CEILING_PROGRAM, {std::to_string(kHeaderBytes + 6144), "big.raw"}, options);
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "big.raw ->  big.wav\nError writing to <big.wav>, code <262>\n\n");
    expectCleanExit(result, 6);
    const Bytes file = testsupport::readFile(dir.file("big.wav"));
    ASSERT_EQ(file.size(), 10001u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'R', 'F', '6', '4'}));
    // ds64: RIFF size, data size, sample count, each 64 bits; the data chunk's size all ones.
    const std::vector<std::uint32_t> sizes = {testsupport::littleEndian32At(file, 20), testsupport::littleEndian32At(file, 24),
                                              testsupport::littleEndian32At(file, 28), testsupport::littleEndian32At(file, 32),
                                              testsupport::littleEndian32At(file, 36), testsupport::littleEndian32At(file, 40),
                                              testsupport::littleEndian32At(file, 88)};
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{9993, 0, 9909, 0, 3303, 0, 0xFFFFFFFF}));
    const Bytes converted = testsupport::reversedSamples(dump, 3);
    EXPECT_EQ(Bytes(file.begin() + 92, file.end()), Bytes(converted.begin(), converted.begin() + 9909));
}

TEST(ScriptSafety, AFileSizeLimitIsAnErrorNotAKill)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(600000, 50);
    testsupport::writeFile(dir.file("take.raw"), dump);
    testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(60, 51));
    const ProcessResult result = runPcmwrapIn(dir, {"take.raw", "next.raw"}, 100000);
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "take.raw ->  take.wav\nError writing to <take.wav>, code <262>\n\n");
    expectCleanExit(result, 6);
    expectSettled(dir.file("take.wav"), dump, 100000);
    EXPECT_FALSE(testsupport::fileExists(dir.file("next.wav")));
}

TEST(ScriptSafety, InterruptingAConversionLeavesAValidFile)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        ASSERT_EQ(mkfifo(dir.file("slow.raw").c_str(), 0600), 0);
        testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(60, 53));
        testsupport::ProcessOptions options;
        options.workingDirectory = dir.path().string();
        testsupport::ChildProcess child(PCMWRAP_PROGRAM, {"slow.raw", "next.raw"}, options);
        const int fifo = openFifoForWriting(dir.file("slow.raw"));
        ASSERT_GE(fifo, 0);

        // Fed slowly, in pieces that do not end on a chunk or a sample; then the FIFO stays
        // open and delivers nothing more once the converter has taken every byte.
        const Bytes dump = testsupport::randomBytes(3 * 6144 + 100, 52);
        for (std::size_t offset = 0; offset < dump.size(); offset += 4000) {
            const std::size_t piece = std::min<std::size_t>(4000, dump.size() - offset);
            ASSERT_EQ(write(fifo, dump.data() + offset, piece), static_cast<ssize_t>(piece));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        int pending = 0;
        while (ioctl(fifo, FIONREAD, &pending) == 0 && pending > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        child.sendSignal(signal);
        // Far more than the second the converter may take: only a converter stuck in its read runs into it.
        const ProcessResult result = child.wait(std::chrono::seconds(5));
        close(fifo);

        EXPECT_EQ(result.standardOutput,
                  kDefaultSettings + "slow.raw ->  slow.wav\nInterrupted: <slow.wav> holds the samples converted so far\n");
        expectCleanExit(result, 128 + signal);
        EXPECT_FALSE(testsupport::fileExists(dir.file("next.wav")));
        // Every byte read, cut to whole samples.
        const std::size_t kept = dump.size() - dump.size() % 3;
        const Bytes converted = testsupport::reversedSamples(Bytes(dump.begin(), dump.begin() + kept), 3);
        EXPECT_EQ(testsupport::readFile(dir.file("slow.wav")),
                  testsupport::expectedPcmWave({}, static_cast<std::uint32_t>(kept / 3), converted));
        const ProcessResult python = testsupport::runPython(testsupport::kPythonWaveReader, {dir.file("slow.wav")});
        EXPECT_EQ(python.standardOutput, "1 3 44100 " + std::to_string(kept / 3) + "\n" + testsupport::hexOf(converted))
            << python.standardError;
    }
}

}  // namespace
