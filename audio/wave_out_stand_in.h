#pragma once
// Inside the wave output stand-in, not installed: the device that plays for this
// process (wave_out_stand_in.cpp) and its test controls (wave_out_testing.cpp), which
// steer its pace and record what it plays. Both work under the one lock below.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/wave_out_device.h"

// The settings of wave_out_testing.h and what the device asks of them.
struct StandInControls {
    DWORD speed = 1;  // times real time; 0 plays every block the moment it is written
    bool stepped = false;
    bool eager = false;
    std::uint64_t steps = 0;        // blocks the device may still finish while stepped
    std::uint64_t paceChanges = 0;  // a block being played is played anew at a new pace
    bool recording = false;
    std::vector<BYTE> recorded;

    // How long a block of `bytes` plays at the set speed.
    std::chrono::steady_clock::duration playingTime(DWORD bytes, DWORD bytesPerSecond) const;
    // Whether the device may finish its oldest block now: unless stepped with no step left.
    bool mayFinish() const { return !stepped || steps > 0; }
    // Takes note of a block that was played to its end: a step used, its bytes recorded.
    void notePlayed(const WAVEHDR& header);
};

// What the callers' threads and the device's thread share, all under one lock. Never
// destroyed, so that a device still open at process exit does not outlive its lock.
struct StandInShared {
    std::mutex mutex;
    std::condition_variable changed;
    StandInControls controls;
    bool open = false;
    std::deque<WAVEHDR*> held;  // written to the open device, not yet handed back, oldest first
    // Counted over every opening, so that a waiter needs no device that may be gone.
    std::uint64_t blocksWritten = 0;
    std::uint64_t blocksAnswered = 0;  // handed back and their WOM_DONE returned
};

StandInShared& standInShared();

// Opens the stand-in: a thread of its own that plays the blocks in order, in real time
// at `bytesPerSecond` unless the controls say otherwise, and sends WOM_OPEN first.
// MMSYSERR_NOMEM when the thread cannot be started.
MMRESULT openStandInWaveOut(const WaveOutClient& client, DWORD bytesPerSecond,
                            std::unique_ptr<WaveOutDevice>* device);
