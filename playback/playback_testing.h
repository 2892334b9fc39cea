#pragma once
// Test seam of the playback ring, not installed: the completion handler lowers the
// in-flight count and then calls the notification that was stored before it did so.
// The window between those two steps is a few instructions wide; this hook holds it
// open so that a test can queue a block with a new notification inside it.

// Runs inside playback_on_done on the device's thread, on every WOM_DONE, right after
// the count has been lowered; null (the default) runs nothing.
void playback_set_count_down_hook_for_testing(void (*hook)());
