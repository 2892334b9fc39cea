#pragma once
// SIGINT, SIGTERM and SIGHUP as a request to stop. While an InterruptionWatch lives, such a
// signal no longer ends the process at once: the first one is noted, and it wakes every
// wait for input (the dump reader polls interruptionDescriptor() beside its file), so the
// driver can finish the file in progress, start no further pair and end the run.
//
// A signal handler can only reach module-level state, so the note and the descriptor are
// that; the handler does nothing but store the number in a lock-free atomic and write one
// byte to a pipe, both safe in a handler.

// A signal whose handling is SIG_IGN when the watch starts (nohup) is left ignored.
class InterruptionWatch {
public:
    InterruptionWatch();
    // Restores the previous handling of the signals.
    ~InterruptionWatch();
    InterruptionWatch(const InterruptionWatch&) = delete;
    InterruptionWatch& operator=(const InterruptionWatch&) = delete;
};

// The first signal that asked to stop, or 0.
int interruptionSignal();

// A descriptor that becomes readable once a signal asked to stop, and stays so, for waits
// in poll; -1 while no watch lives (poll ignores it).
int interruptionDescriptor();
