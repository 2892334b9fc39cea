#pragma once
// Steps of writing a WAVE file that the RIFF form and the RF64 form share.

#include <cstdint>

#include "platform/mmio.h"
#include "platform/wave_format.h"

// Writes the fmt chunk (16 bytes of the format for PCM, else the 18-byte record and its
// cbSize extra bytes) and a fact chunk holding 0xFFFFFFFF at the position. The result is
// wav_create's for these steps; chunk describes the fmt chunk afterwards.
std::int32_t writeFormatAndFactChunks(HMMIO handle, const WAVEFORMATEX* format, MMCKINFO* chunk);

// The bytes from the end of the form's type to the first sample byte: the fmt chunk
// with its pad byte, the fact chunk and the data chunk's header.
std::uint64_t formatFactAndDataHeaderBytes(const WAVEFORMATEX* format);
