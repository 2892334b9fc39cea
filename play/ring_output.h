#pragma once
// The playback ring opened for a run of the player: opened by the constructor, closed by
// the destructor once everything queued has played (or at once after stop()).

#include <cstddef>
#include <cstdint>
#include <optional>

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

    // Waits until everything queued so far has played: then 0, or the device's code when
    // it failed meanwhile (a failed device hands its blocks back as if played). Nothing
    // when interrupted.
    std::optional<std::int32_t> waitUntilPlayed();

    // Stops the sound at once and takes every block back.
    void stop();

private:
    std::int32_t result_ = 0;
    bool waiting_ = false;               // blocks queued since the last wait
    std::size_t lane_ = 0;               // the notification of the latest block (playback_events.h)
    std::uint64_t driesBeforeLast_ = 0;  // its runnings dry before the latest block
};
