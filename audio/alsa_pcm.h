#pragma once
// Opening an ALSA PCM for the wave output device: by name, for playback, non-blocking,
// in the one format the device plays, with the device's period and buffer sizes.

#include <alsa/asoundlib.h>

#include "platform/win_types.h"

// 2048 frames, one full 8192-byte block of the ring, and four of them in the buffer.
inline constexpr snd_pcm_uframes_t kAlsaPeriodFrames = 2048;
inline constexpr snd_pcm_uframes_t kAlsaBufferFrames = 4 * kAlsaPeriodFrames;
inline constexpr unsigned kAlsaFrameBytes = 4;
inline constexpr unsigned kAlsaFramesPerSecond = 44100;

// Opens `name` and sets it up for 16-bit little-endian stereo at 44100 frames a second,
// interleaved. *pcm is written only on success. Codes: MMSYSERR_NODRIVER for no such
// device, MMSYSERR_ALLOCATED for a busy one, WAVERR_BADFORMAT for one that cannot take
// the format exactly, MMSYSERR_NOMEM when memory runs out. ALSA's own messages are
// silenced: the library prints nothing.
MMRESULT alsaOpenPcm(const char* name, snd_pcm_t** pcm);
