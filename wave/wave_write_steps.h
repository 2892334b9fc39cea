#pragma once
// Steps of writing a WAVE file that the RIFF form and the RF64 form share.

#include <cstdint>

#include "platform/mmio.h"
#include "platform/wave_format.h"

// Creates the file, or empties an existing regular file, for writing: 0, or
// WAV_ERR_WRITE_FAILED when it cannot be created, also for a name that exists as
// another kind of file (nothing is done to it).
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

// Bytes that replace part of the header when the file is finished: fields whose values
// are known only after the data (loudness measured while writing).
struct HeaderPatch {
    std::uint32_t offset = 0;
    const BYTE* bytes = nullptr;
    DWORD count = 0;
    // Seeks to the offset and writes the bytes: whether they were all written.
    bool writeTo(HMMIO handle) const;
};

// The RIFF "RF64" form's header and its ds64 chunk, at the start of the file.
std::int32_t createRf64Form(HMMIO handle, MMCKINFO* riff);

// wav_finish and wav_finish_rf64, with whole chunks written after the data chunk and its
// pad byte (none when trailingBytes is 0) and a patch of the header (none when null).
std::int32_t finishRiffForm(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, DWORD sampleCount,
                            const BYTE* trailing, DWORD trailingBytes, const HeaderPatch* patch);
std::int32_t finishRf64Form(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, std::uint64_t sampleCount,
                            const BYTE* trailing, DWORD trailingBytes, const HeaderPatch* patch);
