#pragma once
// Plays one file (WAVE or raw dump) through the ring and reports on standard output what
// became of it.

#include <cstdint>
#include <string>

class Announcements;
class PlayerOptions;
class RingOutput;

enum class FileOutcome {
    Played,
    Skipped,     // a format the player cannot play; nothing was queued
    Unreadable,  // it could not be opened or read; what was read before has been queued
    Interrupted,
    DeviceFailed,  // the ring refused a block; see deviceResult
};

struct FilePlayResult {
    FileOutcome outcome = FileOutcome::Played;
    std::int32_t deviceResult = 0;
};

// Reads the file's frames, turns them into ring frames and queues them, one slot's worth
// at a time; returns once the last is queued, so that the next file's first block queues
// right behind it (RingOutput::waitUntilPlayed waits for the end). Its "Playing <file>"
// line joins the announcements, which print it when it starts to sound, maybe while a
// later file queues.
FilePlayResult playFile(const std::string& name, const PlayerOptions& options, RingOutput& ring,
                        Announcements& announcements);
