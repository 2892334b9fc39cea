#pragma once
// The position in the file and its length ("0:12 / 3:05"), updated in place on one line
// while a file plays, when standard output is a terminal; nothing otherwise.

#include <cstdint>

class ProgressLine {
public:
    explicit ProgressLine(std::uint64_t totalFrames);
    ~ProgressLine() { end(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // `queuedFrames` handed to the ring so far; up to a ring's worth of them is still
    // to be heard.
    void show(std::uint64_t queuedFrames);
    void showEnd()
    {
        if (totalFrames_ != 0) {
            show(totalFrames_ + kRingFrames);
        }
    }
    // Ends the line, so that a message can follow; nothing is shown after.
    void end();

private:
    static constexpr std::uint64_t kRingFrames = 4 * 2048;

    std::uint64_t totalFrames_;
    std::uint64_t shownSeconds_ = UINT64_MAX;
    bool onTerminal_;
    bool ended_ = false;
};
