#pragma once
// The playback ring opened for a run of the player: opened by the constructor, closed by
// the destructor once everything queued has played (or at once after stop()).

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

class RingOutput {
public:
    RingOutput();
    ~RingOutput();
    RingOutput(const RingOutput&) = delete;
    RingOutput& operator=(const RingOutput&) = delete;

    // 0, or playback_open's code.
    std::int32_t result() const { return result_; }

    // Queues ring frames in blocks of at most one slot. Returns 0, or the first code of
    // playback_queue; stops early, with 0, when interrupted.
    std::int32_t play(const BYTE* bytes, std::size_t length);

    // Waits until everything queued so far has played. False when interrupted.
    bool waitUntilPlayed();

    // Stops the sound at once and takes every block back.
    void stop();

private:
    std::int32_t result_ = 0;
    bool waiting_ = false;            // blocks queued since the last wait
    std::uint64_t driesBeforeLast_ = 0;  // the ring's runnings dry before the latest block
};
