#pragma once
// Inside the wave output stand-in, not installed: what a device behind the platform's
// calls provides. wave_out.cpp checks every argument, keeps the one opening and its
// handle, and passes the calls on that handle to the device it opened, one call at a
// time and never from inside a callback. A device plays the blocks written to it in
// order and hands each back through the client's callback on a thread of its own.

#include <atomic>

#include "audio/wave_out.h"

// The opening's side of a device: who to call back, with what.
struct WaveOutClient {
    HWAVEOUT handle = nullptr;
    WaveOutProc callback = nullptr;  // null: the opening asked for no callback
    DWORD_PTR instance = 0;

    void send(UINT message, DWORD_PTR param1) const
    {
        if (callback != nullptr) {
            callback(handle, message, instance, param1, 0);
        }
    }
};

// A header's flags are shared between the caller, who polls WHDR_DONE, and the device's
// thread, which sets it; every access goes through this.
inline std::atomic_ref<DWORD> headerFlags(WAVEHDR& header)
{
    return std::atomic_ref<DWORD>(header.dwFlags);
}

static_assert(std::atomic_ref<DWORD>::required_alignment <= alignof(DWORD), "a header's flags can be shared");

// The two changes a device makes to a header: held from the write on, done (and no
// longer held) in one step when it hands the block back, before its WOM_DONE.
inline void markHeld(WAVEHDR& header)
{
    headerFlags(header).store((headerFlags(header).load() & ~WHDR_DONE) | WHDR_INQUEUE);
}

// Wakes whoever waits on the flags for the slot (playback_wait_for_slot).
inline void markDone(WAVEHDR& header)
{
    headerFlags(header).store((headerFlags(header).load() & ~WHDR_INQUEUE) | WHDR_DONE);
    headerFlags(header).notify_all();
}

class WaveOutDevice {
public:
    virtual ~WaveOutDevice() = default;

    // Takes a prepared header that it does not hold yet behind those written before and
    // marks it held. Once the block has played: markDone, then WOM_DONE with the header.
    // A length of 0 is a block like any other. 0, or the reason it cannot take the block.
    virtual MMRESULT write(WAVEHDR& header) = 0;
    // Stops playing and hands back every block it holds, in the order written, as above;
    // returns once all of their callbacks have run.
    virtual void reset() = 0;
    // WAVERR_STILLPLAYING, staying open, while it holds blocks. Otherwise it stops and
    // returns 0 once WOM_CLOSE has been sent; no callback comes after that.
    virtual MMRESULT close() = 0;
};
