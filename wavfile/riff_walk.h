#pragma once
// Internal: the one walk of a WAVE file's top-level chunks that everything reading such a
// file shares. It runs over the RIFF file I/O (platform/mmio.h) but keeps sizes and
// offsets in 64 bits, which the I/O's 32-bit chunk records cannot hold for RF64 and BW64
// forms, whose true sizes stand in a ds64 chunk. Every size is a claim of the file and is
// bounded by what the file holds before it is used.

#include <cstdint>
#include <vector>

#include "platform/mmio.h"
#include "wavfile/wav_file.h"

namespace pcmwrap::riff {

enum class WalkResult {
    kOk,
    kNotWave,         // not a RIFF, RF64 or BW64 form of type WAVE
    kHeaderCut,       // the file ends inside the form's header or its ds64 chunk
    kNoDs64,          // an RF64 or BW64 form whose first chunk is not a ds64 chunk
    kTooManyChunks,   // more chunks than any real file has: a hostile file, not listed
    kReadFailed,      // the I/O refused a read
};

struct WaveLayout {
    FOURCC form = 0;                  // RIFF, RF64 or BW64
    std::uint64_t fileSize = 0;
    std::vector<ChunkInfo> chunks;    // every top-level chunk, in file order
    bool cutShort = false;            // the file ends inside a chunk or its header
    // The first fmt and data chunks, as indexes into chunks; -1 when there is none.
    long fmt = -1;
    long data = -1;
    // The data chunk's size was not filled in (0 or all ones), or passes the end of the
    // file: it runs to the end of the file, and chunks shows that size.
    bool dataStreamed = false;
};

// More chunks than this in one form is not a file anyone wrote; refusing it keeps the
// list's memory bounded whatever the file claims.
inline constexpr std::size_t kMostChunks = 65536;

WalkResult walkWave(HMMIO handle, WaveLayout* layout);

// Reads exactly count bytes at a 64-bit offset.
bool readAt(HMMIO handle, std::uint64_t offset, void* destination, std::size_t count);

}  // namespace pcmwrap::riff
