#pragma once
// Steps of writing a WAVE file that the RIFF form and the RF64 form share.

#include <cstdint>

#include "platform/mmio.h"
#include "platform/wave_format.h"

// Creates the file, or empties an existing regular file, for writing: 0, or
// MMIOERR_INVALIDFILE for a name that exists as another kind of file (nothing is done
// to it), or WAV_ERR_WRITE_FAILED when it cannot be opened.
std::int32_t openToCreate(const char* fileName, HMMIO* handle);

// Writes the fmt chunk's content at the position: a PCM fmt chunk holds 16 bytes; any
// other format holds the whole record and the cbSize extra bytes that follow it in memory.
bool writeFormat(HMMIO handle, const WAVEFORMATEX* format);

// Writes the fmt chunk (16 bytes of the format for PCM, else the 18-byte record and its
// cbSize extra bytes) and a fact chunk holding 0xFFFFFFFF at the position. The result is
// wav_create's for these steps; chunk describes the fmt chunk afterwards.
std::int32_t writeFormatAndFactChunks(HMMIO handle, const WAVEFORMATEX* format, MMCKINFO* chunk);

// Writes the true sizes of an RF64 file into its ds64 chunk (RIFF size fileLength - 8,
// dataBytes and sampleCount) and all ones into the data chunk's size field; data is the
// data chunk's record as wav_begin_data filled it. False when a write fails or the sizes
// do not fit the file: the data chunk after ds64, the data inside fileLength.
bool writeRf64Sizes(HMMIO handle, const MMCKINFO& data, std::uint64_t fileLength, std::uint64_t dataBytes,
                    std::uint64_t sampleCount);

// The bytes from the end of the form's type to the first sample byte: the fmt chunk
// with its pad byte, the fact chunk and the data chunk's header.
std::uint64_t formatFactAndDataHeaderBytes(const WAVEFORMATEX* format);
