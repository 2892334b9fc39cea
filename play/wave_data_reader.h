#pragma once
// One WAVE file opened for its sample data through the wave layer: opened and stood at
// the data chunk's first byte by the constructor, closed by the destructor.

#include <cstdint>

#include "wave/wave.h"

class WaveDataReader {
public:
    // result() tells whether the file opened (wav_open) and has a data chunk (wav_begin_read).
    explicit WaveDataReader(const char* fileName);
    ~WaveDataReader();
    WaveDataReader(const WaveDataReader&) = delete;
    WaveDataReader& operator=(const WaveDataReader&) = delete;

    // 0, or the wave layer's code for the step that failed.
    std::int32_t result() const { return result_; }
    // Only when result() is 0.
    const WAVEFORMATEX& format() const { return *format_; }
    DWORD dataBytes() const { return dataBytes_; }

    // Reads up to `wanted` bytes; *delivered is 0 at the end of the data. Returns
    // wav_read's code.
    std::int32_t read(BYTE* destination, DWORD wanted, DWORD* delivered);

private:
    HMMIO handle_ = nullptr;
    WAVEFORMATEX* format_ = nullptr;
    MMCKINFO riff_{};
    MMCKINFO data_{};
    DWORD dataBytes_ = 0;
    std::int32_t result_ = 0;
};
