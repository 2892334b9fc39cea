#pragma once
// The ring's frames: 16-bit little-endian stereo at 44100 Hz.

#include <cstddef>

#include "platform/win_types.h"

inline constexpr std::size_t kRingFrameBytes = 4;
inline constexpr DWORD kRingFramesPerSecond = 44100;
