// The ring on the ALSA device, with ALSA running for real on a private configuration:
// the null PCM, or the tests' paced PCM, behind a file PCM that records every byte.

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "device_control.h"
#include "audio/wave_out_device_name.h"
#include "playback/playback_testing.h"
#include "tests/support/alsa_capture.h"

namespace playbacktest {
namespace {

using testsupport::AlsaCapture;
using testsupport::AlsaSlave;

std::atomic<int> runsDry{0};

void countRunDry()
{
    ++runsDry;
}

class AlsaRing : public ::testing::Test {
protected:
    // Selects the private configuration's "capture" PCM in front of `slave`.
    void useCapture(const AlsaSlave& slave)
    {
        capture_ = std::make_unique<AlsaCapture>(slave);
        setenv("ALSA_CONFIG_PATH", capture_->configFile().c_str(), 1);
        setenv(kAudioDeviceVariable, testsupport::kCapturePcm, 1);
        runsDry = 0;
    }

    void TearDown() override
    {
        setenv(kAudioDeviceVariable, kSimulatedDeviceName, 1);
        unsetenv("ALSA_CONFIG_PATH");
        // ALSA keeps the configuration it read for the whole process; dropped here, the
        // next test reads its own, and nothing of ALSA's is left at exit.
        snd_config_update_free_global();
    }

    std::unique_ptr<AlsaCapture> capture_;
};

// Queues `blocks` blocks one at a time, each after the ring has run dry from the one
// before, and returns every byte queued.
std::vector<BYTE> queueEachAfterRunningDry(int blocks)
{
    std::vector<BYTE> queued;
    for (int block = 0; block < blocks; ++block) {
        const std::vector<BYTE> bytes = blockBytes(static_cast<std::uint32_t>(block), 4 * (500 + 300 * block));
        EXPECT_EQ(playback_queue(bytes.data(), static_cast<DWORD>(bytes.size()), countRunDry), 0);
        queued.insert(queued.end(), bytes.begin(), bytes.end());
        EXPECT_TRUE(eventually([&] { return runsDry.load() == block + 1; })) << block;
    }
    return queued;
}

TEST_F(AlsaRing, EveryByteQueuedReachesAlsaInOrder)
{
    useCapture({});
    ASSERT_EQ(playback_open(), 0);
    std::vector<BYTE> queued;
    for (int block = 0; block < 300; ++block) {
        // Whole frames of varied lengths, with the empty and the full block among them.
        const DWORD length = block % 7 == 0 ? 0 : block % 11 == 0 ? kPlaybackBlockBytes : (block * 2654435761u) % 2048 * 4;
        const std::vector<BYTE> bytes = blockBytes(static_cast<std::uint32_t>(block), length);
        ASSERT_EQ(playback_queue(bytes.data(), length, block == 0 ? countRunDry : nullptr), 0) << block;
        queued.insert(queued.end(), bytes.begin(), bytes.end());
    }
    EXPECT_TRUE(eventually([] { return playback_in_flight.load() == 0; }));
    EXPECT_EQ(playback_close(), 0);
    const std::vector<BYTE> captured = capture_->captured();
    EXPECT_EQ(captured.size(), queued.size());
    EXPECT_TRUE(captured == queued);
}

// A paced device that runs out of frames underruns; each block is done once, the ring
// runs dry once per block, and the next block plays after the recovery.
TEST_F(AlsaRing, RunsDryOncePerUnderrunAndPlaysOnAfterIt)
{
    useCapture({.paced = true, .rate = 20 * 44100});
    ASSERT_EQ(playback_open(), 0);
    const std::vector<BYTE> queued = queueEachAfterRunningDry(6);
    EXPECT_EQ(playback_close(), 0);
    EXPECT_EQ(runsDry.load(), 6);
    EXPECT_TRUE(capture_->captured() == queued);
}

// A PCM whose delay leaves frames out (a sound server's estimate) hands the last blocks
// back before they have played; the close lets them play rather than drop them.
TEST_F(AlsaRing, CloseLetsThePcmPlayWhatItsDelayLeftOut)
{
    useCapture({.paced = true, .rate = 44100, .hiddenDelay = 3000});
    ASSERT_EQ(playback_open(), 0);
    const std::vector<BYTE> bytes = blockBytes(3, kPlaybackBlockBytes);
    for (int block = 0; block < 3; ++block) {
        ASSERT_EQ(playback_queue(bytes.data(), kPlaybackBlockBytes, block == 2 ? countRunDry : nullptr), 0);
    }
    ASSERT_TRUE(eventually([] { return runsDry.load() == 1; }));
    EXPECT_EQ(playback_close(), 0);
    EXPECT_EQ(capture_->playedFrames(), 3 * kPlaybackBlockBytes / 4);
}

// On a device that never plays, every block stays held, since done means played, not
// handed to ALSA, until the reset drops them and returns each one.
TEST_F(AlsaRing, BlocksStayHeldUntilPlayedAndResetReturnsEachOne)
{
    useCapture({.paced = true, .rate = 0});
    ASSERT_EQ(playback_open(), 0);
    const std::vector<BYTE> bytes = blockBytes(1, kPlaybackBlockBytes);
    for (int block = 0; block < playback_slot_count; ++block) {
        ASSERT_EQ(playback_queue(bytes.data(), kPlaybackBlockBytes, countRunDry), 0);
    }
    // ALSA has every block; a device that took that for done would show it by now.
    EXPECT_TRUE(eventually([&] { return capture_->handed().size() == playback_slot_count * kPlaybackBlockBytes; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(playback_in_flight.load(), playback_slot_count);
    EXPECT_EQ(runsDry.load(), 0);
    EXPECT_EQ(playback_close(), WAVERR_STILLPLAYING);

    EXPECT_EQ(playback_reset(), 0);
    EXPECT_EQ(playback_in_flight.load(), 0);
    for (const WAVEHDR& header : playback_headers) {
        EXPECT_EQ(flagsOf(header) & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
    EXPECT_EQ(runsDry.load(), 1);
    // The device plays on after a reset.
    EXPECT_EQ(playback_queue(bytes.data(), 0, nullptr), 0);
    EXPECT_TRUE(eventually([] { return runsDry.load() == 2; }));
    EXPECT_EQ(playback_close(), 0);
}

// A device that fails (as when unplugged) hands back what it holds, so the ring runs dry
// and no slot waits forever; the next hand-over gives the failure's code.
TEST_F(AlsaRing, FailedDeviceReturnsItsBlocksAndRefusesTheNext)
{
    useCapture({.paced = true, .rate = 0, .failAfter = 2 * 2048});
    ASSERT_EQ(playback_open(), 0);
    const std::vector<BYTE> bytes = blockBytes(2, kPlaybackBlockBytes);
    for (int block = 0; block < 3; ++block) {
        ASSERT_EQ(playback_queue(bytes.data(), kPlaybackBlockBytes, countRunDry), 0);
    }
    EXPECT_TRUE(eventually([] { return runsDry.load() == 1; }));
    EXPECT_EQ(playback_in_flight.load(), 0);
    EXPECT_EQ(playback_queue(bytes.data(), kPlaybackBlockBytes, nullptr), static_cast<std::int32_t>(MMSYSERR_NODRIVER));
    EXPECT_EQ(playback_close(), 0);
}

TEST_F(AlsaRing, UnknownPcmNameGivesNoDriver)
{
    useCapture({});
    setenv(kAudioDeviceVariable, "no-such-pcm", 1);
    EXPECT_EQ(playback_open(), static_cast<std::int32_t>(MMSYSERR_NODRIVER));
}

// A device that plays only at 48000 Hz cannot take the ring's format exactly.
TEST_F(AlsaRing, PcmThatCannotTakeTheFormatGivesBadFormat)
{
    useCapture({.paced = true, .hardwareRate = 48000});
    EXPECT_EQ(playback_open(), static_cast<std::int32_t>(WAVERR_BADFORMAT));
}

}  // namespace
}  // namespace playbacktest
