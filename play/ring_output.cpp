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
        if (!playback_events::waitForDryBeyond(dries)) {
            playback_reset();
        }
    }
}

std::int32_t RingOutput::play(const BYTE* bytes, std::size_t length)
{
    for (std::size_t offset = 0; offset < length && !playback_events::interrupted();) {
        const auto block = static_cast<DWORD>(std::min<std::size_t>(length - offset, kPlaybackBlockBytes));
        // Counted before the hand-over: this block's running dry may come before the call returns.
        driesBeforeLast_ = playback_events::dryCount();
        if (const std::int32_t result = playback_queue(bytes + offset, block, playback_events::ringRanDry);
            result != 0) {
            return result;
        }
        waiting_ = true;
        offset += block;
    }
    return 0;
}

bool RingOutput::waitUntilPlayed()
{
    // Only a running dry after the last block counts: one between two blocks of a file
    // does not end it.
    if (waiting_ && !playback_events::waitForDryBeyond(driesBeforeLast_)) {
        return false;
    }
    waiting_ = false;
    return true;
}

void RingOutput::stop()
{
    playback_reset();
    waiting_ = false;
}
