#pragma once
// What the player's thread waits for: the ring running dry, which the ring's notification
// reports from the device's thread, and Ctrl-C, which the interrupt watch reports from
// its own. One set per process, since the ring's notification takes no arguments.

#include <cstdint>

namespace playback_events {

// The ring's notification function: playback has run dry once more.
void ringRanDry();
// How many times it has run dry so far.
std::uint64_t dryCount();
// Waits until it has run dry more than `count` times in all, or until interrupted.
// False when interrupted.
bool waitForDryBeyond(std::uint64_t count);

void interrupt();
bool interrupted();

}  // namespace playback_events
