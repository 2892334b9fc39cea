#pragma once
// Ctrl-C, kill and a closed terminal for the player: SIGINT, SIGTERM and SIGHUP are
// blocked in every thread (construct this before any other thread starts, so that they
// inherit the mask) and taken by a thread of its own with sigwait, which hands each to
// the function given. A signal handler could not wake a condition variable or reset the
// device; a thread can. A signal that was ignored when the program started (nohup) is
// left ignored.

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

class InterruptWatch {
public:
    // `onSignal` runs on the watch's thread with the signal's number, for every signal.
    explicit InterruptWatch(std::function<void(int)> onSignal);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    void watch();

    std::function<void(int)> onSignal_;
    sigset_t signals_{};
    int stopSignal_ = 0;  // one of signals_, sent by the destructor; 0 when none is watched
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
