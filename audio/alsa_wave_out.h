#pragma once
// Inside the wave output, not installed: device 0 on the system's audio output through
// ALSA, behind the WaveOutDevice interface (wave_out_device.h).
//
// One thread per opening owns the PCM and makes every ALSA call on it: it writes
// without blocking, and waits in poll() on the PCM's descriptors and on an eventfd that
// the calls use to hand it blocks, resets and the close. A block is done (markDone,
// then WOM_DONE) once it has been played: when the frames handed to ALSA less ALSA's
// delay have passed the block's last frame. A block plays as whole frames; the bytes of
// a partial frame at its end are not played. An underrun is recovered and play goes on.
// A PCM that fails (unplugged, say) hands back every block it holds, and refuses every
// later write with MMSYSERR_NODRIVER for a device that is gone, MMSYSERR_ERROR otherwise.

#include <memory>

#include "audio/wave_out_device.h"

// Opens the ALSA PCM `pcmName` in the device's one format (codes: alsaOpenPcm) and
// starts its thread, which sends WOM_OPEN first. MMSYSERR_NOMEM when the thread or its
// eventfd cannot be had.
MMRESULT openAlsaWaveOut(const WaveOutClient& client, const char* pcmName, std::unique_ptr<WaveOutDevice>* device);
