#pragma once
// What tests of the playback ring see beyond its functions, not installed: the ring's
// module state, and a seam in the completion handler.

#include <atomic>
#include <cstdint>

#include "playback/playback.h"

// The ring's state, one per process. Only the functions of playback.h change it.
extern HWAVEOUT playback_device;  // written by a successful playback_open, never cleared
extern WAVEHDR playback_headers[playback_slot_count];
extern BYTE playback_buffers[playback_slot_count][kPlaybackBlockBytes];
extern std::int16_t playback_next_slot;                // the slot the next block goes into
extern std::atomic<std::int16_t> playback_in_flight;  // handed over, completion not yet handled
extern std::atomic<void (*)()> playback_drain_notify;  // called whenever the count falls to 0

// The completion handler lowers the in-flight count and then calls the notification
// that was stored before it did so. The window between those two steps is a few
// instructions wide; this hook holds it open so that a test can queue a block with a
// new notification inside it. It runs inside playback_on_done on the device's thread,
// on every WOM_DONE, right after the count has been lowered; null (the default) runs nothing.
void playback_set_count_down_hook_for_testing(void (*hook)());
