#pragma once
// Plays blocks of 16-bit stereo PCM at 44100 samples per second on wave output device 0
// through a ring of four slots, each a fixed buffer with its header. A queued block is
// copied into the next slot and handed to the device; the caller waits only while that
// slot is still being played. Plain functions over module-level state, results 0 on
// success, -1 for a block that is too long, otherwise the device's code unchanged.
//
// Threads: the caller's thread runs open, queue, reset and close, never two at once.
// The one exception: while the ring is open, playback_reset may also come from another
// thread, say while playback_queue waits for a slot that a device which stopped playing
// never frees. It changes none of the ring's state, and the device takes it and a
// hand-over one after the other; the reset frees the slot.
// The device's thread runs playback_on_done and, from it, the notification function.
// The two share the slots' done flags, the in-flight count and the stored notification,
// which are atomic; no lock is taken. The ring's state itself is the module's own
// (tests watch it through playback/playback_testing.h, which is not installed).

#include <cstdint>

#include "audio/wave_out.h"

inline constexpr DWORD kPlaybackBlockBytes = 8192;
inline constexpr std::int16_t playback_slot_count = 4;
inline constexpr std::int32_t PLAYBACK_ERR_BLOCK_TOO_LONG = -1;

// Opens device 0 and prepares the four slots, all free. The ring index, the count and
// the stored notification carry over from an earlier opening. On a failed prepare the
// code comes back at once and the device stays open.
std::int32_t playback_open();

// Copies the block into the slot the ring index names and hands it to the device; the
// caller may reuse `bytes` at once, which may be null only for an empty block.
// `length` above kPlaybackBlockBytes: -1 at once, nothing changed. A non-null `notify`
// replaces the stored notification; it is stored before the hand-over, so that the
// block's own completion finds it. If the hand-over fails, its code comes back, the
// ring index stays, the notification stored before is put back and the count raised for
// the block is lowered again; should the count fall to 0 there, playback has run dry and
// the stored notification runs once, on the caller's thread.
// The wait for the slot polls once a millisecond while the device holds it (WHDR_INQUEUE).
// A slot the device neither holds nor has finished, one never prepared as before the
// first opening, would never come back, so the hand-over is tried at once and the
// device's refusal comes back instead of an endless wait.
std::int32_t playback_queue(const void* bytes, DWORD length, void (*notify)());

// Waits, without polling, until the slot that the next block goes into is free: its
// block has played, or a reset handed it back. Returns at once when the slot is free or
// the device does not hold it. From the caller's thread, like playback_queue, which then
// finds the slot free and does not wait: so a caller can look at its own state (say, a
// signal that came meanwhile) between the wait and the hand-over, and a player's thread
// sleeps until a block has played instead of waking every millisecond.
void playback_wait_for_slot();

// The device's callback: on WOM_DONE lowers the count and, when that makes it 0, calls
// the stored notification. Other messages change nothing.
void playback_on_done(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

// Has the device stop and hand back every block it holds; the count falls to 0 through
// their completions, which have all run when this returns. Returns 0 always.
std::int32_t playback_reset();

// Closes the device and returns its code: WAVERR_STILLPLAYING, with the device left
// open, while blocks are queued, so reset first to stop at once. Nothing else changes.
std::int32_t playback_close();
