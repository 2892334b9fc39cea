#include "audio/wave_out_device_name.h"

#include <cstdlib>

std::string waveOutDeviceName()
{
    const char* const named = std::getenv(kAudioDeviceVariable);
    return named != nullptr && *named != '\0' ? named : kDefaultAlsaDeviceName;
}
