#include "play/interrupt_watch.h"

#include <pthread.h>

#include <utility>

InterruptWatch::InterruptWatch(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    sigemptyset(&signals_);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&signals_, signal);
            stopSignal_ = signal;
        }
    }
    if (stopSignal_ == 0) {
        return;
    }
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this] { watch(); });
}

InterruptWatch::~InterruptWatch()
{
    if (!thread_.joinable()) {
        return;
    }
    // The watch ends on a signal of our own, which stopping_ marks as none.
    stopping_ = true;
    pthread_kill(thread_.native_handle(), stopSignal_);
    thread_.join();
}

void InterruptWatch::watch()
{
    for (;;) {
        int signal = 0;
        if (sigwait(&signals_, &signal) != 0) {
            continue;
        }
        if (stopping_) {
            return;
        }
        onSignal_(signal);
    }
}
