// The player's ring on the simulated device, stepped: a running dry of the blocks before
// the last whose notification comes while the last is being queued does not end the
// wait for the last.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "play/ring_output.h"
#include "audio/wave_out_device_name.h"
#include "audio/wave_out_testing.h"
#include "playback/playback_testing.h"

namespace {

std::atomic<bool> holding{false};
std::atomic<bool> held{false};

// Holds the completion between its count-down and its notification while `holding`.
void holdAfterCountDown()
{
    held = true;
    while (holding) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

TEST(RingOutput, RunningDryReportedWhileTheLastBlockIsQueuedDoesNotEndItsWait)
{
    setenv(kAudioDeviceVariable, kSimulatedDeviceName, 1);
    waveOutSetSteppedForTesting(true);
    waveOutSetRecordingForTesting(true);
    const std::vector<BYTE> first(8192, 1);
    const std::vector<BYTE> last(8192, 2);
    {
        RingOutput ring;
        ASSERT_EQ(ring.result(), 0);
        ASSERT_EQ(ring.play(first.data(), first.size()), 0);
        holding = true;
        playback_set_count_down_hook_for_testing(holdAfterCountDown);
        std::thread step([] { waveOutStepForTesting(1); });
        while (!held) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ASSERT_EQ(ring.play(last.data(), last.size()), 0);
        holding = false;
        step.join();
        playback_set_count_down_hook_for_testing(nullptr);
        waveOutSetSteppedForTesting(false);  // the last block plays in real time
        EXPECT_EQ(ring.waitUntilPlayed(), 0);
        std::vector<BYTE> both = first;
        both.insert(both.end(), last.begin(), last.end());
        EXPECT_TRUE(waveOutTakeRecordingForTesting() == both);
    }
    waveOutSetRecordingForTesting(false);
    unsetenv(kAudioDeviceVariable);
}

}  // namespace
