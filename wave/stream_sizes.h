#pragma once
// The sizes a WAVE stream's header carries. A stream (a pipe, a socket, a FIFO) is
// written once: its header goes out before the first sample and is never revisited, so
// its sizes are decided here, before the first byte, for every writer of streams: exact
// when the number of sample bytes is known (an RF64 form with a ds64 chunk when the
// stream is too long for a RIFF form's 32-bit sizes), otherwise all ones, the
// conventional streamed WAVE file that readers take to the end of the stream.

#include <cstdint>
#include <optional>

#include "platform/win_types.h"

// A size or count that the stream cannot know, or one that stands in ds64.
inline constexpr DWORD kWaveStreamSizeUnknown = 0xFFFFFFFFu;
// An RF64 form's ds64 chunk: header, three 64-bit sizes and a table length of 0.
inline constexpr std::uint64_t kDs64ChunkBytes = 8 + 28;

struct WaveStreamSizes {
    bool rf64 = false;
    DWORD formSize = kWaveStreamSizeUnknown;     // the RIFF size; all ones in an RF64 form
    DWORD dataSize = kWaveStreamSizeUnknown;     // the data chunk's size field
    DWORD sampleCount = kWaveStreamSizeUnknown;  // the fact chunk's count
    // The ds64 chunk's sizes, for an RF64 form.
    std::uint64_t riffSize64 = 0;
    std::uint64_t dataSize64 = 0;
    std::uint64_t sampleCount64 = 0;
};

// headerBytes: the bytes from the end of the form's type to the first sample byte,
// without a ds64 chunk. dataBytes: the sample bytes the stream will carry, when known.
// A form that would pass the largest RIFF file (header, data and the pad byte of odd
// data) is RF64, with the ds64 chunk before the other chunks.
WaveStreamSizes decideStreamSizes(std::uint64_t headerBytes, std::optional<std::uint64_t> dataBytes,
                                  std::uint32_t blockAlign);
