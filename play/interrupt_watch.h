#pragma once
// Ctrl-C, kill and a closed terminal for the player: SIGINT, SIGTERM and SIGHUP are
// blocked in every thread (construct this before any other thread starts, so that they
// inherit the mask) and taken by a thread of its own with sigwait, which hands each to
// the function given. A signal handler could not wake a condition variable or reset the
// device; a thread can. A signal that was ignored when the program started (nohup) is
// left ignored.
//
// A signal ends the process within kAbandonAfter whatever the device does: should the
// run not have ended by then (a device call that never returns, inside a stalled sound
// server's client library), the `abandon` function given is called on a thread of its
// own with the first signal's number, and must end the process.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class InterruptWatch {
public:
    static constexpr std::chrono::milliseconds kAbandonAfter{40};

    // `onSignal` runs on the watch's thread with the signal's number, for every signal.
    InterruptWatch(std::function<void(int)> onSignal, std::function<void(int)> abandon);
    // The run has ended: no abandoning after this.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;

    // Takes a signal sent but not yet taken by the watch, which may not have run since,
    // and hands it to `onSignal` as the watch would: so a caller about to report a
    // failure can tell whether a signal came first.
    void takePending();

    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    void watch();
    // Arms the deadline, then hands the signal on.
    void take(int signal);
    void abandonUnlessEnded(int signal);

    std::function<void(int)> onSignal_;
    std::function<void(int)> abandon_;
    sigset_t signals_{};
    int stopSignal_ = 0;  // one of signals_, sent by the destructor; 0 when none is watched
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable ended_;
    bool runEnded_ = false;
    std::thread deadline_;  // started by the first signal, under mutex_
};
