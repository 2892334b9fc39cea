// The player's ring on the stepped simulated device: the first block's running dry,
// whose notification is held until the last block has been queued, does not end the
// wait for the last.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/wave_out_device_name.h"
#include "audio/wave_out_testing.h"
#include "play/ring_output.h"
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

}  // namespace
