// The player's ring on the stepped simulated device: the first block's running dry,
// whose notification is held until the last block has been queued, does not end the
// wait for the last.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/wave_out_device_name.h"
#include "audio/wave_out_testing.h"
#include "play/playback_events.h"
#include "play/ring_output.h"
#include "platform/sleep_testing.h"
#include "playback/playback_testing.h"

namespace {

std::atomic<int> hold{0};  // 2 while a completion is held after its count-down

void holdAfterCountDown()
{
    for (hold = 2; hold == 2;) {
        std::this_thread::yield();
    }
}

TEST(RingOutput, RunningDryNotifiedWhileTheLastBlockIsQueuedDoesNotEndItsWait)
{
    setenv(kAudioDeviceVariable, kSimulatedDeviceName, 1);
    waveOutSetSteppedForTesting(true);
    waveOutSetRecordingForTesting(true);
    std::vector<BYTE> blocks(2 * 8192, 1);
    std::fill(blocks.begin() + 8192, blocks.end(), 2);
    RingOutput ring;
    ASSERT_EQ(ring.play(blocks.data(), 8192), 0);
    playback_set_count_down_hook_for_testing(holdAfterCountDown);
    std::thread step([] { waveOutStepForTesting(1); });
    while (hold != 2) {
        std::this_thread::yield();
    }
    ASSERT_EQ(ring.play(blocks.data() + 8192, 8192), 0);
    playback_set_count_down_hook_for_testing(nullptr);
    hold = 0;
    step.join();
    waveOutSetSteppedForTesting(false);  // the last block plays in real time
    EXPECT_EQ(ring.waitUntilPlayed(), 0);
    EXPECT_TRUE(waveOutTakeRecordingForTesting() == blocks);
}

// The player's thread sleeps until the block in its slot has played: it does not poll.
TEST(RingOutput, WaitForASlotDoesNotPoll)
{
    setenv(kAudioDeviceVariable, kSimulatedDeviceName, 1);
    waveOutSetSteppedForTesting(true);
    const std::vector<BYTE> blocks(5 * 8192, 4);
    RingOutput ring;
    const std::uint64_t sleeps = sleepCallsForTesting();
    std::thread player([&] { EXPECT_EQ(ring.play(blocks.data(), blocks.size()), 0); });
    while (ring.queuedBlocks() < 4) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    player.join();
    EXPECT_EQ(sleepCallsForTesting(), sleeps);
    waveOutSetSteppedForTesting(false);
    EXPECT_EQ(ring.waitUntilPlayed(), 0);
}

// A signal while the player's thread waits for a slot: the signal's reset frees the slot,
// and yet the block in hand does not reach the device, nor does any after it. (Last in
// this file: the signal stays taken for the rest of the process.)
TEST(RingOutput, NoBlockReachesTheDeviceAfterASignal)
{
    setenv(kAudioDeviceVariable, kSimulatedDeviceName, 1);
    waveOutSetSteppedForTesting(true);
    waveOutSetRecordingForTesting(true);
    waveOutTakeRecordingForTesting();  // what tests before it played
    const std::vector<BYTE> blocks(6 * 8192, 3);
    RingOutput ring;
    std::int32_t played = -1;
    std::thread player([&] { played = ring.play(blocks.data(), blocks.size()); });
    // Four blocks fill the ring; the fifth waits for its slot.
    while (ring.queuedBlocks() < 4) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    playback_events::interrupt(2);
    playback_reset();
    player.join();
    EXPECT_EQ(played, 0);
    EXPECT_EQ(ring.queuedBlocks(), 4u);
    EXPECT_EQ(waveOutStepForTesting(4), 0u);
    EXPECT_TRUE(waveOutTakeRecordingForTesting().empty());
    waveOutSetSteppedForTesting(false);
}

}  // namespace
