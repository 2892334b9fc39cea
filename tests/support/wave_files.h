#pragma once
// Builders of WAVE files and checks shared by the wave layer's reading, copying and
// load/save tests. Header-only, so the test support library needs no new source.

#include <dirent.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/wave_format.h"
#include "tests/support/file_bytes.h"

namespace testsupport {

inline WAVEFORMATEX pcmWaveFormat(WORD channels, DWORD rate, WORD bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<WORD>(channels * ((bits + 7) / 8));
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = bits;
    return format;
}

// The first 16 bytes of a fmt chunk, as a file stores them.
inline Bytes formatChunkData(const WAVEFORMATEX& format)
{
    Bytes bytes;
    appendLittleEndian16(bytes, format.wFormatTag);
    appendLittleEndian16(bytes, format.nChannels);
    appendLittleEndian32(bytes, format.nSamplesPerSec);
    appendLittleEndian32(bytes, format.nAvgBytesPerSec);
    appendLittleEndian16(bytes, format.nBlockAlign);
    appendLittleEndian16(bytes, format.wBitsPerSample);
    return bytes;
}

using Chunks = std::vector<std::pair<std::string, Bytes>>;

// A RIFF form of the given type holding the chunks in order, each padded when odd.
inline Bytes riffFile(const Chunks& chunks, const std::string& formType = "WAVE")
{
    Bytes form;
    appendText(form, formType);
    for (const auto& [id, data] : chunks) {
        appendChunk(form, id, data);
    }
    Bytes file;
    appendChunk(file, "RIFF", form);
    return file;
}

inline std::string hexOf(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const auto byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

// Python's wave module reading a file: "channels width rate frames" and the frames in hex.
inline const char* const kPythonWaveReader = R"(
import sys, wave
with wave.open(sys.argv[1], 'rb') as w:
    print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
    sys.stdout.write(w.readframes(w.getnframes()).hex())
)";

// Python's wave module writing a file: name, channels, width in bytes, rate, frames in hex.
inline const char* const kPythonWaveWriter = R"(
import sys, wave
name, channels, width, rate, frames = sys.argv[1:]
with wave.open(name, 'wb') as w:
    w.setnchannels(int(channels))
    w.setsampwidth(int(width))
    w.setframerate(int(rate))
    w.writeframes(bytes.fromhex(frames))
)";

// The number of file descriptors this process holds, to show that a call left none open.
inline std::size_t openFileCount()
{
    std::size_t count = 0;
    if (DIR* directory = opendir("/proc/self/fd")) {
        while (readdir(directory) != nullptr) {
            ++count;
        }
        closedir(directory);
    }
    return count;
}

}  // namespace testsupport
