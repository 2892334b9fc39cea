#pragma once
// Plays one WAVE file through the ring and reports on standard output what became of it.

#include <cstdint>
#include <string>

class RingOutput;

enum class FileOutcome {
    Played,
    Skipped,     // a format the output cannot play; nothing was queued
    Unreadable,  // the wave layer could not open or read it; what was read before has played
    Interrupted,
    DeviceFailed,  // the ring refused a block; see deviceResult
};

struct FilePlayResult {
    FileOutcome outcome = FileOutcome::Played;
    std::int32_t deviceResult = 0;
};

// Reads the file's data in blocks of 8192 bytes, turns whole frames into ring frames
// (a trailing partial frame is dropped), queues them and, once the last is queued,
// waits until they have played.
FilePlayResult playFile(const std::string& name, RingOutput& ring);
