// When the notification runs: once per running dry, never while the device is kept
// supplied, on the device's thread, and always the function given with the last block.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device_control.h"
#include "playback/playback_testing.h"
#include "ring_fixture.h"

namespace playbacktest {
namespace {

using PlaybackNotify = SteppedRing;

TEST_F(PlaybackNotify, RunsWhenTheLastBlockHasPlayedAndAgainAtEachRunningDry)
{
    const std::vector<BYTE> bytes = blockBytes(1, 64);
    ASSERT_EQ(playback_queue(bytes.data(), 64, notifyA), 0);
    ASSERT_EQ(playback_queue(bytes.data(), 64, nullptr), 0);
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    ASSERT_EQ(playback_queue(bytes.data(), 64, nullptr), 0);  // supplied before the device ran out
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedA.load(), 0);
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedA.load(), 1);
    EXPECT_NE(notifiedOn.load(), std::this_thread::get_id());

    ASSERT_EQ(playback_queue(bytes.data(), 64, nullptr), 0);  // a null notify keeps notifyA
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedA.load(), 2);

    ASSERT_EQ(playback_queue(bytes.data(), 64, notifyB), 0);
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedA.load(), 2);
    EXPECT_EQ(notifiedB.load(), 1);
}

TEST_F(PlaybackNotify, OpenAndCloseMessagesChangeNothing)
{
    ASSERT_EQ(playback_queue(nullptr, 0, notifyA), 0);
    for (UINT message : {WOM_OPEN, WOM_CLOSE}) {
        playback_on_done(playback_device, message, 0, 0, 0);
        EXPECT_EQ(playback_in_flight.load(), 1);
    }
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    for (UINT message : {WOM_OPEN, WOM_CLOSE}) {
        playback_on_done(playback_device, message, 0, 0, 0);
        EXPECT_EQ(playback_in_flight.load(), 0);
    }
    EXPECT_EQ(notifiedA.load(), 1);
}

// The completion that drains the ring is held just after its count-down; a block queued
// then, with a function of its own, is still queued, so that function must not run yet,
// and the function of the drained block must.
std::atomic<int> countDownStage{0};  // 1: the handler is held; 2: it may go on

void holdAfterCountDown()
{
    countDownStage = 1;
    eventually([] { return countDownStage.load() == 2; });
}

TEST_F(PlaybackNotify, ABlockQueuedAsTheCountFallsToZeroDoesNotGetTheDrainedBlocksCall)
{
    ASSERT_EQ(playback_queue(nullptr, 0, notifyA), 0);
    countDownStage = 0;
    playback_set_count_down_hook_for_testing(holdAfterCountDown);
    std::thread device([] { waveOutStepForTesting(1); });
    EXPECT_TRUE(eventually([] { return countDownStage.load() == 1; }));
    EXPECT_EQ(playback_queue(nullptr, 0, notifyB), 0);
    countDownStage = 2;
    device.join();
    playback_set_count_down_hook_for_testing(nullptr);
    EXPECT_EQ(notifiedA.load(), 1);
    EXPECT_EQ(notifiedB.load(), 0);
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedB.load(), 1);
}

// On an idle device a short block can finish before queueing returns; its completion
// must still find the function given with it. The eager device makes that happen every
// time.
TEST(PlaybackNotifyRace, ABlocksOwnCompletionFindsItsNotification)
{
    DeviceControl device(false, 0);
    waveOutSetEagerForTesting(true);
    ASSERT_EQ(playback_open(), 0);
    notifiedA = 0;
    notifiedB = 0;
    for (int block = 0; block < 6; ++block) {
        const bool a = block % 2 == 0;
        ASSERT_EQ(playback_queue(nullptr, 0, a ? notifyA : notifyB), 0);
        EXPECT_EQ(playback_in_flight.load(), 0);
        EXPECT_EQ((a ? notifiedA : notifiedB).load(), block / 2 + 1) << block;
        EXPECT_EQ((a ? notifiedB : notifiedA).load(), (block + 1) / 2) << block;
    }
    EXPECT_EQ(playback_close(), 0);
}

}  // namespace
}  // namespace playbacktest
