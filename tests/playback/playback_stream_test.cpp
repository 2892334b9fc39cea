// Long streams through the ring on a device playing by itself: every byte arrives in
// the order queued, and the count shared by the two threads loses nothing.

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "device_control.h"
#include "audio/wave_out_testing.h"
#include "playback/playback_testing.h"

namespace playbacktest {
namespace {

std::atomic<int> runsDry{0};

void countRunDry()
{
    ++runsDry;
}

class PlaybackStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(playback_open(), 0);
        ASSERT_EQ(playback_in_flight.load(), 0);
        runsDry = 0;
    }
    void TearDown() override
    {
        EXPECT_EQ(playback_reset(), 0);
        EXPECT_EQ(playback_close(), 0);
    }

    // Queues `blocks` blocks of lengths up to `longest` from one buffer that it refills,
    // and returns all the bytes queued.
    std::vector<BYTE> queueStream(int blocks, DWORD longest)
    {
        std::vector<BYTE> queued;
        std::vector<BYTE> buffer;
        for (int block = 0; block < blocks; ++block) {
            // Mostly varied lengths, with the empty and the full block among them.
            const DWORD length = block % 7 == 0 ? 0 : block % 11 == 0 ? longest : (block * 2654435761u) % longest;
            buffer = blockBytes(static_cast<std::uint32_t>(block), length);
            const std::int32_t result = playback_queue(buffer.data(), length, block == 0 ? countRunDry : nullptr);
            EXPECT_EQ(result, 0) << block;
            EXPECT_GE(playback_in_flight.load(), 0) << block;
            if (result != 0) {
                break;
            }
            queued.insert(queued.end(), buffer.begin(), buffer.end());
        }
        EXPECT_TRUE(eventually([] { return playback_in_flight.load() == 0 && runsDry.load() > 0; }));
        return queued;
    }

    DeviceControl device{false, 400};
};

TEST_F(PlaybackStream, DevicePlaysEveryByteInTheOrderQueued)
{
    const std::vector<BYTE> queued = queueStream(2500, kPlaybackBlockBytes);
    const std::vector<BYTE> played = waveOutTakeRecordingForTesting();
    EXPECT_EQ(played.size(), queued.size());
    EXPECT_TRUE(played == queued);  // not EXPECT_EQ: megabytes would be printed
}

// Tiny blocks on a device that plays them at once, so that the caller's increments and
// the device's decrements of the count overlap as often as they can.
TEST_F(PlaybackStream, QueueAndCompletionHammeredFromTwoThreadsLoseNoCount)
{
    waveOutSetSpeedForTesting(0);
    const std::vector<BYTE> queued = queueStream(4000, 8);
    EXPECT_EQ(playback_in_flight.load(), 0);
    EXPECT_TRUE(waveOutTakeRecordingForTesting() == queued);
}

}  // namespace
}  // namespace playbacktest
