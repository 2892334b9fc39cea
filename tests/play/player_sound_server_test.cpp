// pcmwrap-play on a real sound server: a private PulseAudio daemon through ALSA's pulse
// PCM (pulse_server.h), which hangs when stopped and breaks its clients' connections when
// killed, as a stand-in device cannot. What the server played is read from its sink.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/alsa_capture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/pulse_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;
using testsupport::ChildProcess;
using testsupport::ProcessResult;
using testsupport::PulseServer;
using testsupport::TempDir;

constexpr std::size_t kFrameBytes = 4;
constexpr std::size_t kBlockFrames = 2048;

// A 16-bit stereo WAVE file of noise: no frame of it is silence, so where it starts in
// what the server played shows.
std::string noiseFile(const TempDir& dir, const std::string& name, std::size_t frames, std::uint32_t seed,
                      Bytes* data = nullptr)
{
    Bytes samples = testsupport::randomBytes(frames * kFrameBytes, seed);
    for (std::size_t frame = 0; frame < samples.size(); frame += kFrameBytes) {
        samples[frame] |= 1;
    }
    const std::string file = dir.file(name);
    testsupport::writeFile(file, testsupport::riffFile({{"fmt ", testsupport::formatChunkData(
                                                                     testsupport::pcmWaveFormat(2, 44100, 16))},
                                                        {"data", samples}}));
    if (data != nullptr) {
        *data = samples;
    }
    return file;
}

testsupport::ProcessOptions on(const PulseServer& server)
{
    testsupport::ProcessOptions options;
    options.extraEnvironment = server.environment();
    return options;
}

// Waits until the server has played at least `frames` frames of sound; the bound only
// turns a hang into a failure.
bool heard(const PulseServer& server, std::size_t frames)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (testsupport::fromFirstSound(server.played()).size() < frames * kFrameBytes) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The server stops (SIGSTOP) while the player plays: the device's calls into it never
// return, yet each signal, also sent twice, ends the player with 128 + its number.
TEST(PlayerOnSoundServer, SignalEndsThePlayerOnAStalledServer)
{
    const TempDir dir;
    const std::string file = noiseFile(dir, "long.wav", 20 * 44100, 41);
    for (const auto& [signal, times] : {std::pair{SIGINT, 1}, {SIGTERM, 1}, {SIGHUP, 1}, {SIGTERM, 2}}) {
        SCOPED_TRACE(std::to_string(signal) + " x" + std::to_string(times));
        PulseServer server;
        ChildProcess player(PCMWRAP_PLAYER, {file}, on(server));
        ASSERT_TRUE(heard(server, 44100 / 2));
        server.pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int i = 0; i < times; ++i) {
            player.sendSignal(signal);
        }
        const ProcessResult result = player.wait(std::chrono::seconds(10));
        testsupport::expectCleanExit(result, 128 + signal);
        EXPECT_EQ(result.standardOutput, "Playing <" + file + ">\n");
    }
}

// A server that hangs before the player has opened it: a signal ends the wait in the
// open, also when the server dies right after the signal (the signal came first).
TEST(PlayerOnSoundServer, SignalEndsTheOpenOfAHangingServer)
{
    const TempDir dir;
    const std::string file = noiseFile(dir, "take.wav", 44100, 43);
    for (const bool serverDies : {false, true}) {
        SCOPED_TRACE(serverDies ? "the server dies after the signal" : "the server stays stopped");
        PulseServer server;
        server.pause();
        ChildProcess player(PCMWRAP_PLAYER, {file}, on(server));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        player.sendSignal(SIGTERM);
        if (serverDies) {
            server.kill();
        }
        const ProcessResult result = player.wait(std::chrono::seconds(10));
        testsupport::expectCleanExit(result, 128 + SIGTERM);
        EXPECT_EQ(result.standardOutput, "");
    }
}

// A server that dies in the middle of a file, and one that dies once the file's last
// block has been handed over, while the blocks before it still play (stopped there, so
// that they do not finish first): either is told, with status 3, and no later file starts.
TEST(PlayerOnSoundServer, ServerThatDiesWhilePlayingIsReported)
{
    const TempDir dir;
    const std::string next = noiseFile(dir, "next.wav", 44100, 47);
    const std::regex failure("Error playing on audio device <pcmwrap_pulse>, code <[0-9]+>\n");
    struct Case {
        const char* what;
        std::size_t blocks;
        std::size_t heardBlocks;  // killed once this much has played
    };
    // The ring takes a block once the one four before it has played: when the server has
    // played all but three, the last is in.
    for (const Case& c : {Case{"mid-play", 200, 20}, Case{"in the last blocks", 20, 17}}) {
        SCOPED_TRACE(c.what);
        const std::string file = noiseFile(dir, "take.wav", c.blocks * kBlockFrames, 53);
        PulseServer server;
        ChildProcess player(PCMWRAP_PLAYER, {file, next}, on(server));
        ASSERT_TRUE(heard(server, c.heardBlocks * kBlockFrames));
        server.pause();
        server.kill();
        const ProcessResult result = player.wait(std::chrono::seconds(20));
        testsupport::expectCleanExit(result, 3);
        const std::string playing = "Playing <" + file + ">\n";
        ASSERT_EQ(result.standardOutput.substr(0, playing.size()), playing);
        EXPECT_TRUE(std::regex_match(result.standardOutput.substr(playing.size()), failure)) << result.standardOutput;
    }
}

// Files of every length, shorter than the ring too, join without a gap: the server plays
// a signal split into pieces as the signal itself. Each is announced, in order.
TEST(PlayerOnSoundServer, FilesJoinWithoutAGapWhateverTheirLengths)
{
    const TempDir dir;
    const std::size_t pieces[] = {10007, 3, 50000, 1, 77777, 2048, 4096, 8191, 100};
    std::vector<std::string> files;
    Bytes signal;
    std::string lines;
    for (std::size_t i = 0; i < std::size(pieces); ++i) {
        Bytes data;
        files.push_back(noiseFile(dir, "piece" + std::to_string(i) + ".wav", pieces[i], 59 + i, &data));
        signal.insert(signal.end(), data.begin(), data.end());
        lines += "Playing <" + files.back() + ">\n";
    }
    PulseServer server;
    ChildProcess player(PCMWRAP_PLAYER, files, on(server));
    const ProcessResult result = player.wait(std::chrono::seconds(60));
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput, lines);
    ASSERT_TRUE(heard(server, signal.size() / kFrameBytes));
    const Bytes sound = testsupport::fromFirstSound(server.played());
    const auto end = std::mismatch(signal.begin(), signal.end(), sound.begin()).first;
    EXPECT_TRUE(end == signal.end()) << "the played sound leaves the signal at frame "
                                     << (end - signal.begin()) / kFrameBytes << " of " << signal.size() / kFrameBytes;
}

// Ctrl-C while a file plays: what the server played is a start of the file and then
// silence; no block reached it after the signal. The server drops a block that comes
// after its reset when the player resets it again; the tests' paced PCM keeps every
// frame it was handed, and what it was handed is a start of the file too.
TEST(PlayerOnSoundServer, NoBlockPlaysAfterCtrlC)
{
    const TempDir dir;
    Bytes data;
    const std::string file = noiseFile(dir, "long.wav", 20 * 44100, 61, &data);
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const testsupport::AlsaCapture paced({.paced = true, .rate = 44100});
        testsupport::ProcessOptions options;
        options.extraEnvironment = paced.environment();
        ChildProcess player(PCMWRAP_PLAYER, {file}, options);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (paced.handed().size() < (2 * 44100 + run * 5000) * kFrameBytes &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        player.sendSignal(SIGINT);
        const ProcessResult result = player.wait(std::chrono::seconds(10));
        testsupport::expectCleanExit(result, 130);
        const Bytes handed = paced.handed();
        ASSERT_LE(handed.size(), data.size());
        EXPECT_TRUE(std::equal(handed.begin(), handed.end(), data.begin()))
            << "the device was handed something else at frame "
            << (std::mismatch(handed.begin(), handed.end(), data.begin()).first - handed.begin()) / kFrameBytes
            << " of " << handed.size() / kFrameBytes;
    }
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        PulseServer server;
        ChildProcess player(PCMWRAP_PLAYER, {file}, on(server));
        ASSERT_TRUE(heard(server, 44100 + run * 5000));
        player.sendSignal(SIGINT);
        const ProcessResult result = player.wait(std::chrono::seconds(10));
        testsupport::expectCleanExit(result, 130);
        // Time for a stray block to come through.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const Bytes sound = testsupport::fromFirstSound(server.played());
        const auto end = std::mismatch(data.begin(), data.end(), sound.begin(), sound.end()).second;
        EXPECT_TRUE(std::all_of(end, sound.end(), [](std::uint8_t byte) { return byte == 0; }))
            << "sound again " << (std::find_if(end, sound.end(), [](std::uint8_t b) { return b != 0; }) - end) / 4
            << " frames after the file's start ended at frame " << (end - sound.begin()) / 4;
    }
}

}  // namespace
