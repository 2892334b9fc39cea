#include "play/interrupt_watch.h"

#include <pthread.h>

#include <utility>

InterruptWatch::InterruptWatch(std::function<void(int)> onSignal, std::function<void(int)> abandon)
    : onSignal_(std::move(onSignal)), abandon_(std::move(abandon))
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
    if (thread_.joinable()) {
        // The watch ends on a signal of our own, which stopping_ marks as none.
        stopping_ = true;
        pthread_kill(thread_.native_handle(), stopSignal_);
        // Should the watch be held in a device call that never returns, the deadline,
        // which the run's end has not yet called off, still ends the process.
        thread_.join();
    }
    std::thread deadline;
    {
        const std::lock_guard lock(mutex_);
        runEnded_ = true;
        deadline = std::move(deadline_);
    }
    ended_.notify_all();
    if (deadline.joinable()) {
        deadline.join();
    }
}

void InterruptWatch::takePending()
{
    if (stopSignal_ == 0) {
        return;
    }
    const timespec none{};
    if (const int signal = sigtimedwait(&signals_, nullptr, &none); signal > 0) {
        take(signal);
    }
}

void InterruptWatch::take(int signal)
{
    {
        // Armed before the signal is acted on, which may itself never return.
        const std::lock_guard lock(mutex_);
        if (!deadline_.joinable() && !runEnded_) {
            deadline_ = std::thread([this, signal] { abandonUnlessEnded(signal); });
        }
    }
    onSignal_(signal);
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
        take(signal);
    }
}

void InterruptWatch::abandonUnlessEnded(int signal)
{
    std::unique_lock lock(mutex_);
    if (!ended_.wait_for(lock, kAbandonAfter, [this] { return runEnded_; })) {
        abandon_(signal);
    }
}
