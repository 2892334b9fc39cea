#pragma once
// Ctrl-C for the player: SIGINT is blocked in every thread (construct this before any
// other thread starts, so that they inherit the mask) and taken by a thread of its own
// with sigwait, which reports it through playback_events::interrupt(). A signal handler
// could not wake a condition variable; a thread can.

#include <atomic>
#include <thread>

class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    void watch();

    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
