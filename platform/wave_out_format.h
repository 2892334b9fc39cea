#pragma once
// The one format every wave output device plays: 16-bit stereo PCM at 44100 samples per
// second, the ring's fixed format.

#include "platform/wave_format.h"

inline bool isWaveOutDeviceFormat(const WAVEFORMATEX& format)
{
    return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels == 2 && format.nSamplesPerSec == 44100 &&
           format.wBitsPerSample == 16 && format.nBlockAlign == 4 && format.nAvgBytesPerSec == 176400;
}
