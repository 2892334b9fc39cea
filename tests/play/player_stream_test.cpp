// pcmwrap-play on standard input: a WAVE stream whose sizes were never filled in plays to
// its end, a raw dump with the raw options plays as one, each named "-"; a WAVE file in a
// FIFO plays as a stream.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

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

// The player in a shell command line, as $P, playing into the capture.
ProcessResult shellPlay(const AlsaCapture& capture, const TempDir& dir, const std::string& command)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = capture.environment();
    options.extraEnvironment.push_back(std::string("P=") + PCMWRAP_PLAYER);
    return testsupport::runProcess("/bin/sh", {"-c", command}, options);
}

TEST(PlayerStream, AStreamedWaveOnStandardInputPlaysToItsEnd)
{
    const TempDir dir;
    const AlsaCapture capture;
    const Bytes data = testsupport::randomBytes(4 * 30000, 91);
    Bytes file = testsupport::riffFile(
        {{"fmt ", testsupport::formatChunkData(testsupport::pcmWaveFormat(2, 44100, 16))}, {"data", data}});
    std::memset(file.data() + 4, 0xFF, 4);
    std::memset(file.data() + 40, 0xFF, 4);
    testsupport::writeFile(dir.file("streamed.wav"), file);
    const ProcessResult result = shellPlay(capture, dir, "cat streamed.wav | $P -");
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput, "Playing <->\n");
    EXPECT_TRUE(capture.captured() == data);
}

TEST(PlayerStream, ARawDumpOnStandardInputAndAWaveFileInAFifo)
{
    const TempDir dir;
    const AlsaCapture capture;
    Bytes dump = testsupport::randomBytes(4 * 20000, 92);
    testsupport::writeFile(dir.file("take.raw"), dump);
    const ProcessResult raw = shellPlay(capture, dir, "cat take.raw | $P -b16 -c2 -");
    testsupport::expectCleanExit(raw, 0);
    EXPECT_EQ(raw.standardOutput, "Playing <->\n");
    for (std::size_t i = 0; i + 1 < dump.size(); i += 2) {
        std::swap(dump[i], dump[i + 1]);  // big-endian samples, as ALSA gets them little-endian
    }
    EXPECT_TRUE(capture.captured() == dump);

    const AlsaCapture second;
    const Bytes data = testsupport::randomBytes(4 * 10000, 93);
    testsupport::writeFile(dir.file("take.wav"), testsupport::riffFile({{"fmt ", testsupport::formatChunkData(
                                                                            testsupport::pcmWaveFormat(2, 44100, 16))},
                                                                        {"data", data}}));
    ASSERT_EQ(mkfifo(dir.file("in.wav").c_str(), 0600), 0);
    const ProcessResult fifo = shellPlay(second, dir, "cat take.wav > in.wav & $P in.wav; wait");
    testsupport::expectCleanExit(fifo, 0);
    EXPECT_EQ(fifo.standardOutput, "Playing <in.wav>\n");
    EXPECT_TRUE(second.captured() == data);
}

// -a on standard input: the probe reads the first bytes, and those and the rest play.
TEST(PlayerStream, ProbedStandardInputPlaysTheBytesTheProbeRead)
{
    const TempDir dir;
    const AlsaCapture capture;
    const std::string example = std::string(PCMWRAP_SOURCE_DIR) + "/examples/sine440.raw";
    Bytes dump = testsupport::readFile(example);
    const ProcessResult result = shellPlay(capture, dir, "cat '" + example + "' | $P -a -");
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput.substr(0, 11), "Playing <->");  // the line may name the format too
    for (std::size_t i = 0; i + 1 < dump.size(); i += 2) {
        std::swap(dump[i], dump[i + 1]);  // 16-bit big-endian stereo, as the probe tells
    }
    EXPECT_TRUE(capture.captured() == dump);
}

}  // namespace
