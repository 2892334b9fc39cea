#include "play/ring_output.h"

#include <algorithm>

#include "play/playback_events.h"
#include "playback/playback.h"

RingOutput::RingOutput()
{
    result_ = playback_open();
}

// A running dry reported just after a block was queued may still be that of the blocks
// before it, and the close then finds the block held: wait for the next and try again.
RingOutput::~RingOutput()
{
    if (result_ != 0) {
        return;
    }
    for (;;) {
        const std::uint64_t dries = playback_events::dryCount();
        if (playback_close() != WAVERR_STILLPLAYING) {
            return;
        }
        if (!playback_events::waitForAnyDryBeyond(dries)) {
            playback_reset();
        }
    }
}

std::int32_t RingOutput::play(const BYTE* bytes, std::size_t length)
{
    for (std::size_t offset = 0; offset < length;) {
        const auto block = static_cast<DWORD>(std::min<std::size_t>(length - offset, kPlaybackBlockBytes));
        const std::optional<std::int32_t> result = queueBlock(bytes + offset, block);
        if (!result || *result != 0) {
            return result.value_or(0);
        }
        offset += block;
    }
    return 0;
}

std::int32_t RingOutput::queueEmptyBlock()
{
    return queueBlock(nullptr, 0).value_or(0);
}

std::optional<std::int32_t> RingOutput::queueBlock(const BYTE* bytes, DWORD length)
{
    // Woken by the block that frees the slot, or by the reset a signal makes.
    playback_wait_for_slot();
    // Blocks take the two notifications by turns, and the ring stores a block's only
    // once it counts the block in flight. So while this block waits for its slot,
    // the blocks before it run dry through the other; a running dry through this one
    // includes this block, even one that comes before the call returns.
    const std::size_t lane = (lane_ + 1) % playback_events::kLanes;
    const std::uint64_t driesBefore = playback_events::dryCount(lane);
    const std::optional<std::int32_t> result =
        playback_events::queueUnlessInterrupted(bytes, length, playback_events::ringRanDry(lane));
    if (result && *result == 0) {
        lane_ = lane;
        driesBeforeLast_ = driesBefore;
        waiting_ = true;
        ++queued_;
    }
    return result;
}

std::optional<std::int32_t> RingOutput::waitUntilPlayed()
{
    if (!waiting_) {
        return 0;
    }
    // Only a running dry after the last block counts: one between two blocks of a file
    // does not end it.
    if (!playback_events::waitForDryBeyond(lane_, driesBeforeLast_)) {
        return std::nullopt;
    }
    waiting_ = false;
    // A device that failed has handed its blocks back as if played, and refuses every
    // later write with its code: an empty block asks it without adding a sound.
    playback_wait_for_slot();
    const std::optional<std::int32_t> result = playback_events::queueUnlessInterrupted(nullptr, 0, nullptr);
    if (!result) {
        return std::nullopt;
    }
    if (*result == 0) {
        ++queued_;
    }
    return result;
}

void RingOutput::stop()
{
    playback_reset();
    waiting_ = false;
}
