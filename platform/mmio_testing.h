#pragma once
// Test hook of the RIFF file I/O: RIFF sizes are 32 bits, so no file may grow past
// 0xFFFFFFFF bytes. Tests lower that ceiling to provoke the failure without writing 4 GiB.

#include <cstdint>

inline constexpr std::uint64_t kMmioMaximumFileSize = 0xFFFFFFFFu;

// Sets the largest size any file may reach from now on; kMmioMaximumFileSize restores it.
void mmioSetMaximumFileSizeForTesting(std::uint64_t bytes);
