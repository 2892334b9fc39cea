#pragma once
// The wave output device on the system's audio output through ALSA, behind waveOutOpen
// and the other waveOut calls with the same contracts as the simulated device
// (platform/wave_out.h). Its handles are told apart from the simulated device's by
// alsaWaveOutOwns.
//
// One thread per opening owns the PCM and makes every ALSA call from the open's
// set-up to the close: it writes without blocking, waits in poll() on the PCM's
// descriptors and on an eventfd that the calls below use to hand it blocks, resets and
// the close. A block is done, WHDR_DONE set and WOM_DONE sent, once it has been played:
// when the frames handed to ALSA less ALSA's delay have passed the block's last frame.
// A block plays as whole frames; the bytes of a partial frame at its end are not played.

#include "platform/wave_out.h"

// Opens the ALSA PCM `pcmName` (see alsaOpenPcm for its codes); `format` must be the
// device's one format. `callback` may be null.
MMRESULT alsaWaveOutOpen(HWAVEOUT* device, const char* pcmName, const WAVEFORMATEX* format, WaveOutProc callback,
                         DWORD_PTR instance);
// Whether `device` is an open ALSA device.
bool alsaWaveOutOwns(HWAVEOUT device);
MMRESULT alsaWaveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
MMRESULT alsaWaveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
// After the device has failed (unplugged, say), every held block has come back and each
// later write returns the failure's code: MMSYSERR_NODRIVER for a device that is gone,
// MMSYSERR_ERROR otherwise.
MMRESULT alsaWaveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
// Drops what ALSA holds at once (snd_pcm_drop, then prepare) and hands back every held
// block in order; returns once their callbacks have run.
MMRESULT alsaWaveOutReset(HWAVEOUT device);
MMRESULT alsaWaveOutClose(HWAVEOUT device);
