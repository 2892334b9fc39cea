#pragma once
// The sizes of the format record as a fmt chunk stores it.

#include "platform/wave_format.h"

// A PCM format: the record up to, not including, cbSize.
inline constexpr DWORD kPcmFormatBytes = 16;
// Any other format: the whole record, cbSize included; its extra bytes follow.
inline constexpr DWORD kFormatRecordBytes = 18;

static_assert(kFormatRecordBytes == sizeof(WAVEFORMATEX));
