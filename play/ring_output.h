#pragma once
// The playback ring opened for a run of the player: opened by the constructor, closed by
// the destructor once everything queued has played (or at once after stop()).

#include <cstddef>
#include <cstdint>
#include <optional>

#include "playback/playback.h"
#include "platform/win_types.h"

class RingOutput {
public:
    RingOutput();
    ~RingOutput();
    RingOutput(const RingOutput&) = delete;
    RingOutput& operator=(const RingOutput&) = delete;

    // 0, or playback_open's code.
    std::int32_t result() const { return result_; }

    // Queues ring frames in blocks of at most one slot, each once its slot is free (the
    // thread sleeps until a block has played). Returns 0, or the first code of
    // playback_queue; stops early, with 0, when interrupted: no block is queued after a
    // signal.
    std::int32_t play(const BYTE* bytes, std::size_t length);

    // Queues an empty block once its slot is free: so the block queued four before it
    // has played through (playedThrough), and no sound is added. 0, the device's code,
    // or 0 when interrupted.
    std::int32_t queueEmptyBlock();

    // Waits until everything queued so far has played: then 0, or the device's code when
    // it failed meanwhile (a failed device hands its blocks back as if played). Nothing
    // when interrupted.
    std::optional<std::int32_t> waitUntilPlayed();

    // Stops the sound at once and takes every block back.
    void stop();

    // The blocks queued in this run so far, empty ones included.
    std::uint64_t queuedBlocks() const { return queued_; }
    // Whether block number `block` (counted from 1; 0 for none) has played through on a
    // device that did not fail: the ring hands a slot over only once its block is done,
    // and a failed device refuses every later block, so a block queued into the same
    // slot after it shows it.
    bool playedThrough(std::uint64_t block) const { return block == 0 || queued_ >= block + playback_slot_count; }

private:
    // One block into the next slot once it is free; nothing when interrupted.
    std::optional<std::int32_t> queueBlock(const BYTE* bytes, DWORD length);

    std::int32_t result_ = 0;
    std::uint64_t queued_ = 0;
    bool waiting_ = false;               // blocks queued since the last wait
    std::size_t lane_ = 0;               // the notification of the latest block (playback_events.h)
    std::uint64_t driesBeforeLast_ = 0;  // its runnings dry before the latest block
};
