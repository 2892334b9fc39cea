#pragma once
// The platform's wave format record. Callers hand it around in memory followed
// directly by its cbSize extra bytes, so its layout is the packed 18-byte one.

#include <bit>

#include "platform/win_types.h"

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes without gaps");
// A format block is the record followed by its extra bytes; its fields are laid out
// little-endian only because the host is. Every file access goes through the
// explicit helpers of little_endian.h instead.
static_assert(std::endian::native == std::endian::little, "format blocks assume a little-endian host");

inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
