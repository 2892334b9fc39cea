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

testsupport::ProcessOptions onCapture(const AlsaCapture& capture)
{
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    return options;
}

ProcessResult play(const AlsaCapture& capture, const std::vector<std::string>& arguments)
{
    return testsupport::runPcmwrapPlay(arguments, onCapture(capture));
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
    EXPECT_EQ(result.standardOutput, "Skipping <" + unplayable + ">: format 2 (ADPCM) is not PCM or float\n"
                                     "Error reading <" + missing + ">: No such file or directory\n"
                                     "Playing <" + good + ">\n");
    EXPECT_TRUE(capture.captured() == data);

    // A file that is no WAVE file is unreadable, not a format refused; without the
    // skipped file, the unreadable ones decide.
    const std::string notWave = dir.file("notes.wav");
    testsupport::writeFile(notWave, data);
    const ProcessResult unreadable = play(capture, {missing, notWave});
    testsupport::expectCleanExit(unreadable, 1);
    EXPECT_EQ(unreadable.standardOutput, "Error reading <" + missing + ">: No such file or directory\n"
                                         "Error reading <" + notWave + ">: not a WAVE file\n");
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

// A device that stopped playing keeps the player waiting for a slot; each signal still
// ends it at once (the sound stops, the device is reset), with 128 + its number.
TEST(PlayerProgram, SignalsEndThePlayerOnADeviceThatStoppedPlaying)
{
    const TempDir dir;
    const std::string file = writeWave(dir, "long.wav", {2, 16}, Bytes(10 * 8192, 0));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const AlsaCapture capture({.paced = true, .rate = 0});
        testsupport::ChildProcess child(PCMWRAP_PLAYER, {file}, onCapture(capture));
        // Playing once the device has been handed frames; the ring fills meanwhile.
        for (int wait = 0; wait < 6000 && capture.handed().empty(); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        child.sendSignal(signal);
        const ProcessResult result = child.wait(std::chrono::seconds(10));
        testsupport::expectCleanExit(result, 128 + signal);
        EXPECT_EQ(result.standardOutput, "Playing <" + file + ">\n");
    }
}

// The device fails on the second and last block of the first file, after both are
// queued: reported for that file, and the second never starts.
TEST(PlayerProgram, DeviceFailureAfterTheLastBlockIsReportedForItsFile)
{
    const TempDir dir;
    const AlsaCapture capture({.paced = true, .rate = 0, .failAfter = 2048});
    const std::string first = writeWave(dir, "first.wav", {2, 16}, Bytes(2 * 8192, 0));
    const std::string second = writeWave(dir, "second.wav", {2, 16}, Bytes(8192, 0));
    const ProcessResult result = play(capture, {first, second});
    testsupport::expectCleanExit(result, 3);
    EXPECT_EQ(result.standardOutput, "Playing <" + first + ">\nError playing on audio device <capture>, code <6>\n");
}

// A PCM that reports too little delay gets more than it has room for, and then never
// wakes poll(): it still plays through, since the device asks it again after a few periods.
TEST(PlayerProgram, PlaysThroughAPcmThatLagsAndNeverWakesPoll)
{
    const TempDir dir;
    const AlsaCapture capture({.paced = true, .rate = 44100, .lagging = true});
    const Bytes data = testsupport::randomBytes(12 * 8192, 5);
    const std::string file = writeWave(dir, "take.wav", {2, 16}, data);
    testsupport::ChildProcess child(PCMWRAP_PLAYER, {file}, onCapture(capture));
    const ProcessResult result = child.wait(std::chrono::seconds(20));
    testsupport::expectCleanExit(result, 0);
    EXPECT_TRUE(capture.captured() == data);
}

}  // namespace
