#include "play/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>

#include "play/ring_frames.h"

namespace {

// Whether a line is shown on the terminal and not yet ended; whoever ends it first, the
// line or a process abandoning its main thread, writes the newline.
std::atomic<bool> lineOpen{false};

std::string twoDigits(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    if (value < 10) {
        digits.insert(digits.begin(), '0');
    }
    return digits;
}

}  // namespace

std::string clockTime(std::uint64_t seconds)
{
    const std::uint64_t minutes = seconds / 60;
    if (minutes < 60) {
        return std::to_string(minutes) + ":" + twoDigits(seconds % 60);
    }
    return std::to_string(minutes / 60) + ":" + twoDigits(minutes % 60) + ":" + twoDigits(seconds % 60);
}

std::string progressText(std::uint64_t seconds, std::optional<std::uint64_t> totalSeconds)
{
    return totalSeconds ? clockTime(seconds) + " / " + clockTime(*totalSeconds) : clockTime(seconds);
}

ProgressLine::ProgressLine(std::optional<std::uint64_t> totalFrames)
    : totalFrames_(totalFrames), onTerminal_(isatty(STDOUT_FILENO) == 1)
{
    show(0);
}

void ProgressLine::end()
{
    if (onTerminal_ && !ended_ && lineOpen.exchange(false)) {
        std::cout << std::endl;
    }
    ended_ = true;
}

void ProgressLine::endOpenLineAtExit()
{
    if (lineOpen.exchange(false)) {
        std::fputs("\n", stdout);
    }
    std::fflush(stdout);
}

void ProgressLine::show(std::uint64_t queuedFrames)
{
    std::uint64_t heard = queuedFrames - std::min(queuedFrames, kRingFrames);
    if (totalFrames_) {
        heard = std::min(heard, *totalFrames_);
    }
    const std::uint64_t seconds = heard / kRingFramesPerSecond;
    if (!onTerminal_ || ended_ || seconds == shownSeconds_) {
        return;
    }
    shownSeconds_ = seconds;
    const std::optional<std::uint64_t> totalSeconds =
        totalFrames_ ? std::optional(*totalFrames_ / kRingFramesPerSecond) : std::nullopt;
    std::cout << '\r' << progressText(seconds, totalSeconds) << std::flush;
    lineOpen = true;
}
