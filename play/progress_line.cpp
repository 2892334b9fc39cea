#include "play/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <string>

#include "play/ring_frames.h"

namespace {

std::string minutesAndSeconds(std::uint64_t seconds)
{
    const std::uint64_t remainder = seconds % 60;
    return std::to_string(seconds / 60) + (remainder < 10 ? ":0" : ":") + std::to_string(remainder);
}

}  // namespace

ProgressLine::ProgressLine(std::uint64_t totalFrames)
    : totalFrames_(totalFrames), onTerminal_(isatty(STDOUT_FILENO) == 1)
{
    show(0);
}

void ProgressLine::end()
{
    if (onTerminal_ && !ended_) {
        std::cout << std::endl;
    }
    ended_ = true;
}

void ProgressLine::show(std::uint64_t queuedFrames)
{
    // A length of 0 is a stream's, not known: the position alone.
    const std::uint64_t played = queuedFrames - std::min(queuedFrames, kRingFrames);
    const std::uint64_t heard = totalFrames_ == 0 ? played : std::min(played, totalFrames_);
    const std::uint64_t seconds = heard / kRingFramesPerSecond;
    if (!onTerminal_ || ended_ || seconds == shownSeconds_) {
        return;
    }
    shownSeconds_ = seconds;
    std::cout << '\r' << minutesAndSeconds(seconds);
    if (totalFrames_ != 0) {
        std::cout << " / " << minutesAndSeconds(totalFrames_ / kRingFramesPerSecond);
    }
    std::cout << std::flush;
}
