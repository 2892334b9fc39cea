#pragma once
// The "Playing <file>" lines, each printed when its file starts to sound: once the ring
// shows that every block queued before the file's first has played through on a device
// that did not fail. A file may be queued whole before that (one shorter than the ring):
// its line waits while the next file's blocks queue behind it, so files join without a
// gap, and a failure in the blocks before is told before the line.

#include <cstdint>
#include <deque>
#include <string>

class RingOutput;

class Announcements {
public:
    // The line of a file whose first block is the one after the ring's block number
    // `blocksBefore` (RingOutput::queuedBlocks()).
    void add(std::string line, std::uint64_t blocksBefore);
    // Takes back the latest line, of a file that will not be said to play.
    void withdrawLatest();
    // Prints, in order, every line whose blocks before have played through; true when
    // none is left waiting.
    bool printDue(const RingOutput& ring);
    bool waiting() const { return !lines_.empty(); }

private:
    struct Line {
        std::string text;
        std::uint64_t blocksBefore;
    };
    std::deque<Line> lines_;
};
