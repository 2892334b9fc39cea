#pragma once
// The position in the file and its length ("0:12 / 3:05", "1:02:03 / 1:10:00"), updated
// in place on one line while a file plays, when standard output is a terminal; nothing
// otherwise. For a source whose length is not known, the position alone.

#include <cstdint>
#include <optional>
#include <string>

class ProgressLine {
public:
    // `totalFrames`: the ring frames the file makes, nothing when not known.
    explicit ProgressLine(std::optional<std::uint64_t> totalFrames);
    ~ProgressLine() { end(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // `queuedFrames` handed to the ring so far; up to a ring's worth of them is still
    // to be heard.
    void show(std::uint64_t queuedFrames);
    // Everything queued, `queuedFrames` in all, has been heard.
    void showEnd(std::uint64_t queuedFrames) { show(queuedFrames + kRingFrames); }
    // Ends the line, so that a message can follow; nothing is shown after.
    void end();

    // For a process that ends from another thread, abandoning its main thread: ends a
    // line left open on the terminal. Through C's standard output, which is safe from
    // any thread.
    static void endOpenLineAtExit();

private:
    static constexpr std::uint64_t kRingFrames = 4 * 2048;

    std::optional<std::uint64_t> totalFrames_;
    std::uint64_t shownSeconds_ = UINT64_MAX;
    bool onTerminal_;
    bool ended_ = false;
};

// "0:07", "12:34", "1:02:03": hours only from an hour on.
std::string clockTime(std::uint64_t seconds);
// What the line shows: "0:12 / 3:05", or "0:12" when the length is not known.
std::string progressText(std::uint64_t seconds, std::optional<std::uint64_t> totalSeconds);
