// pcmwrap-play run as a process on ALSA's null PCM behind a file PCM (alsa_capture.h):
// the bytes ALSA was handed are checked against the played file's data, converted here
// independently, together with the lines printed and the exit status.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
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

struct Source {
    WORD channels;
    WORD bits;
};

// A WAVE file of the given format whose data are `data`.
std::string writeWave(const TempDir& dir, const std::string& name, const Source& source, const Bytes& data,
                      DWORD rate = 44100)
{
    const std::string file = dir.file(name);
    testsupport::writeFile(file, testsupport::riffFile({{"fmt ", testsupport::formatChunkData(testsupport::pcmWaveFormat(
                                                                     source.channels, rate, source.bits))},
                                                        {"data", data}}));
    return file;
}

ProcessResult play(const AlsaCapture& capture, const std::vector<std::string>& arguments)
{
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    return testsupport::runPcmwrapPlay(arguments, options);
}

TEST(PlayerProgram, EmptyDataPlaysNothingAndEnds)
{
    const TempDir dir;
    const AlsaCapture capture;
    const std::string file = writeWave(dir, "empty.wav", {2, 16}, {});
    const ProcessResult result = play(capture, {file});
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput, "Playing <" + file + ">\n");
    EXPECT_TRUE(capture.captured().empty());
}

// One file of a format the player does not play (ADPCM), one missing, one good: each
// gets its line with the reason, the good one plays, and a skipped format outranks an
// unreadable file.
TEST(PlayerProgram, SkipsAndReportsAndPlaysTheRest)
{
    const TempDir dir;
    const AlsaCapture capture;
    const Bytes data = testsupport::randomBytes(4000, 7);
    const std::string unplayable = dir.file("adpcm.wav");
    WAVEFORMATEX adpcm = testsupport::pcmWaveFormat(2, 44100, 16);
    adpcm.wFormatTag = 2;
    testsupport::writeFile(unplayable,
                           testsupport::riffFile({{"fmt ", testsupport::formatChunkData(adpcm)}, {"data", data}}));
    const std::string missing = dir.file("missing.wav");
    const std::string good = writeWave(dir, "good.wav", {2, 16}, data);
    const ProcessResult result = play(capture, {unplayable, missing, good});
    testsupport::expectCleanExit(result, 2);
    EXPECT_EQ(result.standardOutput, "Skipping <" + unplayable + ">: <" + unplayable +
                                         ">: format 2 (ADPCM) is not PCM or float\n"
                                         "Error reading <" + missing + ">: cannot open <" + missing +
                                         ">: No such file or directory\n"
                                         "Playing <" + good + ">\n");
    EXPECT_TRUE(capture.captured() == data);

    // Without the skipped file, the unreadable one decides.
    const ProcessResult unreadable = play(capture, {missing});
    testsupport::expectCleanExit(unreadable, 1);
}

TEST(PlayerProgram, DeviceThatCannotOpenEndsTheRunWithItsNameAndCode)
{
    const TempDir dir;
    const AlsaCapture capture;
    const std::string file = writeWave(dir, "take.wav", {2, 16}, testsupport::randomBytes(400, 3));
    const ProcessResult result = play(capture, {"-dno-such-pcm", file});
    testsupport::expectCleanExit(result, 3);
    EXPECT_EQ(result.standardOutput, "Error opening audio device <no-such-pcm>, code <6>\n");
}

// Real time, a minute of sound: Ctrl-C once it plays stops it within a period.
TEST(PlayerProgram, InterruptStopsAndEndsWith130)
{
    const TempDir dir;
    const AlsaCapture capture({.paced = true, .rate = 44100});
    const Bytes data(60 * 176400, 0);
    const std::string file = writeWave(dir, "long.wav", {2, 16}, data);
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    testsupport::ChildProcess child(PCMWRAP_PLAYER, {file}, options);
    // Playing once the device has been handed frames; the bound only turns a hang into a failure.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (capture.handed().empty() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.sendSignal(SIGINT);
    const ProcessResult result = child.wait(std::chrono::seconds(30));
    testsupport::expectCleanExit(result, 130);
    EXPECT_EQ(result.standardOutput, "Playing <" + file + ">\n");
    EXPECT_LT(capture.captured().size(), data.size());
}

}  // namespace
