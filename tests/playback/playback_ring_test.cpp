// The ring's slots: which block goes where, who waits, and what reset, close and a
// failed hand-over leave behind.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/sleep_testing.h"
#include "audio/wave_out_testing.h"
#include "ring_fixture.h"

namespace playbacktest {
namespace {

using PlaybackRing = SteppedRing;

bool slotHolds(std::int16_t slot, const std::vector<BYTE>& bytes)
{
    return playback_headers[slot].dwBufferLength == bytes.size() &&
           std::memcmp(playback_buffers[slot], bytes.data(), bytes.size()) == 0;
}

TEST_F(PlaybackRing, FourBlocksQueueAtOnceAndTheFifthWaitsForTheFirstSlot)
{
    const std::int16_t first = playback_next_slot;
    const std::uint64_t sleeps = sleepCallsForTesting();
    for (std::uint32_t block = 0; block < 4; ++block) {
        EXPECT_EQ(playback_queue(blockBytes(block, kPlaybackBlockBytes).data(), kPlaybackBlockBytes, nullptr), 0);
    }
    EXPECT_EQ(sleepCallsForTesting(), sleeps);
    EXPECT_EQ(playback_in_flight.load(), 4);

    const std::vector<BYTE> fifth = blockBytes(4, 100);
    std::atomic<bool> returned{false};
    std::int32_t result = 99;
    std::thread caller([&] {
        result = playback_queue(fifth.data(), static_cast<DWORD>(fifth.size()), nullptr);
        returned = true;
    });
    EXPECT_TRUE(eventually([&] { return sleepCallsForTesting() > sleeps; }));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(waveOutStepForTesting(1), 1u);  // the first slot's block has played
    caller.join();

    EXPECT_EQ(result, 0);
    EXPECT_TRUE(slotHolds(first, fifth));
    EXPECT_EQ(playback_next_slot, slotAfter(first));
    EXPECT_EQ(playback_in_flight.load(), 4);
    EXPECT_EQ(waveOutTakeRecordingForTesting(), blockBytes(0, kPlaybackBlockBytes));
}

// The wait for the next slot sleeps until the device hands that slot's block back, and
// polls nothing; with the slot free it returns at once, and so does the queue after it.
TEST_F(PlaybackRing, WaitForSlotSleepsUntilTheSlotsBlockIsBack)
{
    const std::uint64_t sleeps = sleepCallsForTesting();
    for (std::uint32_t block = 0; block < 4; ++block) {
        ASSERT_EQ(playback_queue(blockBytes(block, 64).data(), 64, nullptr), 0);
    }
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        playback_wait_for_slot();
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    caller.join();
    EXPECT_TRUE(slotIsFree(playback_next_slot));
    playback_wait_for_slot();
    EXPECT_EQ(playback_queue(blockBytes(4, 64).data(), 64, nullptr), 0);
    EXPECT_EQ(sleepCallsForTesting(), sleeps);
}

TEST_F(PlaybackRing, TooLongBlocksAreRefusedAtOnceEvenWithNoSlotFree)
{
    const std::vector<BYTE> full = blockBytes(1, kPlaybackBlockBytes + 1);
    ASSERT_EQ(playback_queue(full.data(), kPlaybackBlockBytes, notifyA), 0);
    for (int block = 1; block < 4; ++block) {
        ASSERT_EQ(playback_queue(full.data(), kPlaybackBlockBytes, nullptr), 0);
    }
    const std::int16_t next = playback_next_slot;
    const std::uint64_t sleeps = sleepCallsForTesting();

    // 0x80000000 and above would be negative as signed numbers.
    for (DWORD length : {kPlaybackBlockBytes + 1, DWORD{0x80000000u}, DWORD{0xFFFFFFFFu}}) {
        EXPECT_EQ(playback_queue(full.data(), length, notifyB), PLAYBACK_ERR_BLOCK_TOO_LONG) << length;
    }
    EXPECT_EQ(sleepCallsForTesting(), sleeps);
    EXPECT_EQ(playback_next_slot, next);
    EXPECT_EQ(playback_in_flight.load(), 4);
    EXPECT_EQ(playback_drain_notify.load(), &notifyA);
}

TEST_F(PlaybackRing, EmptyBlockIsHandedOverAndCountedLikeAnyOther)
{
    const std::int16_t slot = playback_next_slot;
    ASSERT_EQ(playback_queue(nullptr, 0, notifyA), 0);
    EXPECT_EQ(playback_headers[slot].dwBufferLength, 0u);
    EXPECT_FALSE(slotIsFree(slot));
    EXPECT_EQ(playback_next_slot, slotAfter(slot));
    EXPECT_EQ(playback_in_flight.load(), 1);

    EXPECT_EQ(waveOutStepForTesting(4), 1u);
    EXPECT_EQ(playback_in_flight.load(), 0);
    EXPECT_EQ(notifiedA.load(), 1);
}

TEST_F(PlaybackRing, ResetHandsBackEveryBlockAndKeepsTheRingIndex)
{
    const std::int16_t first = playback_next_slot;
    const std::vector<BYTE> bytes = blockBytes(7, 4000);
    for (int block = 0; block < 3; ++block) {
        ASSERT_EQ(playback_queue(bytes.data(), 4000, notifyA), 0);
    }
    EXPECT_EQ(playback_reset(), 0);
    EXPECT_EQ(notifiedA.load(), 1);
    EXPECT_EQ(playback_in_flight.load(), 0);
    for (std::int16_t slot = 0; slot < playback_slot_count; ++slot) {
        EXPECT_TRUE(slotIsFree(slot)) << slot;
    }
    EXPECT_EQ(playback_next_slot, slotAfter(first, 3));
    EXPECT_TRUE(waveOutTakeRecordingForTesting().empty());

    const std::uint64_t sleeps = sleepCallsForTesting();
    const std::vector<BYTE> after = blockBytes(8, 12);
    ASSERT_EQ(playback_queue(after.data(), 12, nullptr), 0);
    EXPECT_EQ(sleepCallsForTesting(), sleeps);
    EXPECT_TRUE(slotHolds(slotAfter(first, 3), after));
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(waveOutTakeRecordingForTesting(), after);
    EXPECT_EQ(notifiedA.load(), 2);

    EXPECT_EQ(playback_reset(), 0);  // nothing queued: nothing to run dry
    EXPECT_EQ(notifiedA.load(), 2);
}

TEST_F(PlaybackRing, CloseWithBlocksQueuedKeepsTheDeviceOpen)
{
    ASSERT_EQ(playback_queue(blockBytes(1, 8).data(), 8, notifyA), 0);
    EXPECT_EQ(playback_close(), static_cast<std::int32_t>(WAVERR_STILLPLAYING));
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedA.load(), 1);
}

TEST_F(PlaybackRing, ReopeningFreesEverySlotAndKeepsIndexCountAndNotification)
{
    const std::int16_t first = playback_next_slot;
    ASSERT_EQ(playback_queue(blockBytes(1, 8).data(), 8, notifyA), 0);
    ASSERT_EQ(playback_queue(blockBytes(2, 8).data(), 8, nullptr), 0);
    ASSERT_EQ(waveOutStepForTesting(1), 1u);  // one block still held at the reset
    const HWAVEOUT before = playback_device;
    ASSERT_EQ(playback_reset(), 0);
    ASSERT_EQ(playback_close(), 0);
    EXPECT_EQ(playback_device, before);  // never cleared

    ASSERT_EQ(playback_open(), 0);
    EXPECT_NE(playback_device, before);
    for (std::int16_t slot = 0; slot < playback_slot_count; ++slot) {
        EXPECT_EQ(flagsOf(playback_headers[slot]), WHDR_DONE | WHDR_PREPARED) << slot;
        EXPECT_EQ(playback_headers[slot].lpData, reinterpret_cast<char*>(playback_buffers[slot])) << slot;
    }
    EXPECT_EQ(playback_next_slot, slotAfter(first, 2));
    EXPECT_EQ(playback_in_flight.load(), 0);

    const std::vector<BYTE> bytes = blockBytes(3, 16);
    ASSERT_EQ(playback_queue(bytes.data(), 16, nullptr), 0);
    EXPECT_TRUE(slotHolds(slotAfter(first, 2), bytes));
    EXPECT_EQ(waveOutStepForTesting(1), 1u);
    EXPECT_EQ(notifiedA.load(), 2);  // the function stored before the closing
}

// A slot that the device neither holds nor has finished (unprepared, as at program
// start) would never come back: the queueing call must not wait for it, and the failed
// hand-over must leave the count and the notification as they were.
TEST_F(PlaybackRing, FailedHandOverOfASlotThatNeverComesBackUndoesItsCount)
{
    ASSERT_EQ(playback_queue(blockBytes(1, 8).data(), 8, notifyA), 0);
    const std::int16_t slot = playback_next_slot;
    WAVEHDR& header = playback_headers[slot];
    ASSERT_EQ(waveOutUnprepareHeader(playback_device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    header.dwFlags = 0;

    const std::uint64_t sleeps = sleepCallsForTesting();
    EXPECT_EQ(playback_queue(blockBytes(2, 8).data(), 8, notifyB), static_cast<std::int32_t>(WAVERR_UNPREPARED));
    EXPECT_EQ(sleepCallsForTesting(), sleeps);
    EXPECT_EQ(playback_next_slot, slot);
    EXPECT_EQ(playback_in_flight.load(), 1);
    EXPECT_EQ(playback_drain_notify.load(), &notifyA);
    EXPECT_EQ(notifiedA.load() + notifiedB.load(), 0);

    EXPECT_EQ(waveOutStepForTesting(1), 1u);  // the ring still runs dry, into the old function
    EXPECT_EQ(notifiedA.load(), 1);
    EXPECT_EQ(notifiedB.load(), 0);

    header.dwFlags = WHDR_DONE;
    ASSERT_EQ(waveOutPrepareHeader(playback_device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(playback_queue(blockBytes(3, 8).data(), 8, nullptr), 0);
    EXPECT_EQ(playback_next_slot, slotAfter(slot));
}

TEST_F(PlaybackRing, FailedHandOverThatEmptiesTheRingRunsDryOnce)
{
    ASSERT_EQ(playback_queue(blockBytes(1, 8).data(), 8, notifyA), 0);
    ASSERT_EQ(waveOutStepForTesting(1), 1u);
    ASSERT_EQ(notifiedA.load(), 1);
    ASSERT_EQ(playback_close(), 0);
    const std::int16_t slot = playback_next_slot;

    EXPECT_EQ(playback_queue(blockBytes(2, 8).data(), 8, notifyB), static_cast<std::int32_t>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(notifiedA.load(), 2);
    EXPECT_EQ(notifiedB.load(), 0);
    EXPECT_EQ(playback_in_flight.load(), 0);
    EXPECT_EQ(playback_next_slot, slot);
    EXPECT_EQ(playback_drain_notify.load(), &notifyA);
    EXPECT_EQ(playback_reset(), 0);  // on a closed device too

    ASSERT_EQ(playback_open(), 0);  // for the fixture's closing
}

}  // namespace
}  // namespace playbacktest
