#pragma once
// What the player's thread waits for: the ring running dry, which the ring's notification
// reports from the device's thread, and a signal, which the interrupt watch reports from
// its own. One set per process, since the ring's notification takes no arguments.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/win_types.h"

namespace playback_events {

// The ring takes one of two notification functions, its lane, with each block, the two
// by turns (ring_output.cpp); each counts the runnings dry reported through it.
inline constexpr std::size_t kLanes = 2;
using Notification = void (*)();
Notification ringRanDry(std::size_t lane);
// How many times it has run dry so far: through `lane`, or through either.
std::uint64_t dryCount(std::size_t lane);
std::uint64_t dryCount();
// Waits until it has run dry through `lane` more than `count` times, or until interrupted.
// False when interrupted.
bool waitForDryBeyond(std::size_t lane, std::uint64_t count);
// The same through either lane, `count` being dryCount()'s.
bool waitForAnyDryBeyond(std::uint64_t count);

// The signal that ends the run; 0 until one came. interrupt() waits for a hand-over in
// progress (below), so that none begins after it.
void interrupt(int signal);
int interruptSignal();
bool interrupted();

// Hands a block to the ring (playback_queue, whose slot the caller has seen free) unless
// a signal has come: its code, or nothing when interrupted. So no block reaches the
// device once a signal has been taken, not even one whose slot the signal's reset freed.
std::optional<std::int32_t> queueUnlessInterrupted(const void* bytes, DWORD length, Notification notify);

}  // namespace playback_events
