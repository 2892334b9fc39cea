#include "convert/interruption.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> notedSignal{0};
std::atomic<int> wakeReadEnd{-1};
std::atomic<int> wakeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only use lock-free atomics");

struct sigaction previousActions[std::size(kWatchedSignals)];
// Whether the watch took the signal over; one ignored at start (nohup) is left alone.
bool watched[std::size(kWatchedSignals)];

extern "C" void noteInterruption(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    notedSignal.compare_exchange_strong(none, signal);
    const char wake = 1;
    // A full pipe already wakes every wait; a byte more or less does not matter.
    [[maybe_unused]] const ssize_t written = write(wakeWriteEnd.load(), &wake, 1);
    errno = savedErrno;
}

}  // namespace

InterruptionWatch::InterruptionWatch()
{
    notedSignal = 0;
    // Non-blocking, so the handler never waits on a full pipe. Without a pipe a signal is
    // still noted, and seen between chunks.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeReadEnd = ends[0];
        wakeWriteEnd = ends[1];
    }
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    for (const int signal : kWatchedSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    // Restarted calls keep writes to standard output whole; the waits for input are in
    // poll, which a signal always ends, and the pipe wakes a poll entered just after it.
    action.sa_flags = SA_RESTART;
    // A signal ignored when the program starts (nohup; SIGINT for a background job of a
    // non-interactive shell) was meant not to stop it, and stays ignored.
    for (std::size_t i = 0; i < std::size(kWatchedSignals); ++i) {
        watched[i] = sigaction(kWatchedSignals[i], nullptr, &previousActions[i]) == 0 &&
                     previousActions[i].sa_handler != SIG_IGN;
        if (watched[i]) {
            sigaction(kWatchedSignals[i], &action, nullptr);
        }
    }
}

InterruptionWatch::~InterruptionWatch()
{
    for (std::size_t i = 0; i < std::size(kWatchedSignals); ++i) {
        if (watched[i]) {
            sigaction(kWatchedSignals[i], &previousActions[i], nullptr);
        }
    }
    for (std::atomic<int>* end : {&wakeReadEnd, &wakeWriteEnd}) {
        if (const int fd = end->exchange(-1); fd >= 0) {
            close(fd);
        }
    }
}

int interruptionSignal()
{
    return notedSignal.load();
}

int interruptionDescriptor()
{
    return wakeReadEnd.load();
}
