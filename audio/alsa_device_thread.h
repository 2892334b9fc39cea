#pragma once
// Inside the ALSA device, not installed: what its calls (alsa_wave_out.cpp) and its
// device thread (alsa_device_thread.cpp) share.

#include <alsa/asoundlib.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "audio/wave_out_device.h"

// What the callers' thread and the device thread share, under the lock; the PCM is the
// device thread's alone.
struct AlsaShared {
    WaveOutClient client;
    snd_pcm_t* pcm = nullptr;
    int wakeup = -1;  // an eventfd: a command waits for the device thread

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WAVEHDR*> written;  // written and not yet taken by the device thread
    std::size_t held = 0;          // written and not yet handed back
    std::uint64_t heldFrames = 0;  // the frames of those blocks
    std::uint64_t resetsAsked = 0;
    std::uint64_t resetsDone = 0;
    bool closing = false;
    MMRESULT failure = MMSYSERR_NOERROR;  // once the PCM has failed, every later write's result
};

// The device thread's whole life: sends WOM_OPEN, plays what is written until the close
// is asked with nothing held, closes the PCM and sends WOM_CLOSE. From the start of this
// until it returns, no other thread calls ALSA on the PCM.
void runAlsaDeviceThread(AlsaShared& device);
