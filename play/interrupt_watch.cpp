#include "play/interrupt_watch.h"

#include <pthread.h>
#include <signal.h>

#include "play/playback_events.h"

namespace {

sigset_t interruptSignal()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

InterruptWatch::InterruptWatch()
{
    const sigset_t set = interruptSignal();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    thread_ = std::thread([this] { watch(); });
}

InterruptWatch::~InterruptWatch()
{
    // The watch ends on a SIGINT of our own, which stopping_ marks as no interrupt.
    stopping_ = true;
    pthread_kill(thread_.native_handle(), SIGINT);
    thread_.join();
}

void InterruptWatch::watch()
{
    const sigset_t set = interruptSignal();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    if (!stopping_) {
        playback_events::interrupt();
    }
}
