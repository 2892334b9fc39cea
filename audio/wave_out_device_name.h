#pragma once
// Which device waveOutOpen opens as device 0: the ALSA PCM that the environment
// variable PCMWRAP_AUDIO_DEVICE names, "default" when it is unset or empty, or the
// simulated device (paced in real time, playing into nothing) when it says "simulated".

#include <string>

inline constexpr const char* kAudioDeviceVariable = "PCMWRAP_AUDIO_DEVICE";
inline constexpr const char* kSimulatedDeviceName = "simulated";
inline constexpr const char* kDefaultAlsaDeviceName = "default";

std::string waveOutDeviceName();
