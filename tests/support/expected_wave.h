#pragma once
// What the converter should write for a dump: the sample bytes turned to least
// significant byte first, and the whole PCM WAVE file around them, built byte by byte.

#include <algorithm>
#include <cstdint>

#include "tests/support/file_bytes.h"

namespace testsupport {

// Every sample's bytes reversed. A partial last sample is completed with zero bytes
// before the reversal and the result cut back to the dump's length, as the converter
// handles the bytes a dump did not supply.
inline Bytes reversedSamples(const Bytes& dump, std::size_t bytesPerSample)
{
    Bytes padded = dump;
    padded.resize((dump.size() + bytesPerSample - 1) / bytesPerSample * bytesPerSample, 0);
    for (auto sample = padded.begin(); sample != padded.end(); sample += static_cast<std::ptrdiff_t>(bytesPerSample)) {
        std::reverse(sample, sample + static_cast<std::ptrdiff_t>(bytesPerSample));
    }
    padded.resize(dump.size());
    return padded;
}

struct ExpectedPcmFormat {
    std::uint16_t channels = 1;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 24;
    std::uint16_t blockAlign = 3;
    std::uint32_t byteRate = 132300;
    std::uint16_t tag = 1;  // 3 for float, whose fmt chunk carries a cbSize of 0
};

// RIFF WAVE with a 16-byte fmt chunk (18 bytes for float), a fact chunk holding frames
// and the data chunk.
inline Bytes expectedPcmWave(const ExpectedPcmFormat& format, std::uint32_t frames, const Bytes& data)
{
    Bytes fmt;
    appendLittleEndian16(fmt, format.tag);
    appendLittleEndian16(fmt, format.channels);
    appendLittleEndian32(fmt, format.rate);
    appendLittleEndian32(fmt, format.byteRate);
    appendLittleEndian16(fmt, format.blockAlign);
    appendLittleEndian16(fmt, format.bits);
    if (format.tag != 1) {
        appendLittleEndian16(fmt, 0);  // cbSize
    }
    Bytes fact;
    appendLittleEndian32(fact, frames);
    Bytes form;
    appendText(form, "WAVE");
    appendChunk(form, "fmt ", fmt);
    appendChunk(form, "fact", fact);
    appendChunk(form, "data", data);
    Bytes file;
    appendChunk(file, "RIFF", form);
    return file;
}

}  // namespace testsupport
