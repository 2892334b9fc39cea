#pragma once
// Internal: the one walk of a WAVE file's top-level chunks that everything reading such a
// file shares, over any origin of its bytes (byte_source.h). Sizes and offsets are 64
// bits wide, for RF64 and BW64 forms, whose true sizes stand in a ds64 chunk. Every size
// is a claim of the file and is bounded by what the file holds before it is used.
//
// A source that can seek is walked whole at once. A stream is walked in two steps, never
// going back: up to the data chunk's first byte when it is opened, and from the end of
// the data to the end of the stream once the samples have been read; the bytes of the
// chunks it passes are kept, since they cannot be read again.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/win_types.h"
#include "wavfile/byte_source.h"
#include "wavfile/wav_file.h"

namespace pcmwrap::riff {

enum class WalkResult {
    kOk,
    kNotWave,         // not a RIFF, RF64 or BW64 form of type WAVE
    kHeaderCut,       // the file ends inside the form's header or its ds64 chunk
    kNoDs64,          // an RF64 or BW64 form whose first chunk is not a ds64 chunk
    kTooManyChunks,   // more chunks than any real file has: a hostile file, not listed
    kReadFailed,      // the system refused a read
};

struct WaveLayout {
    FOURCC form = 0;                  // RIFF, RF64 or BW64
    std::uint64_t fileSize = 0;       // of a source that can seek; of a stream, the bytes walked so far
    std::vector<ChunkInfo> chunks;    // every top-level chunk walked, in file order
    bool cutShort = false;            // the file ends inside a chunk or its header
    // The first fmt and data chunks, as indexes into chunks; -1 when there is none.
    long fmt = -1;
    long data = -1;
    // The data chunk's size was not filled in, or passes the end of the file: it runs to
    // the end of the file (of a stream: to its end), and chunks shows what the file holds
    // (of a stream: 0 until the end is read).
    bool dataStreamed = false;
    // A stream's chunks, by index into chunks, with the bytes the walk kept of them.
    std::vector<std::pair<std::size_t, std::vector<std::byte>>> kept;

    // Where the walk of a stream goes on after the data, and the form's end and ds64 sizes.
    std::uint64_t formEnd = 0;
    std::vector<std::pair<FOURCC, std::uint64_t>> largeSizes;
};

// More chunks than this in one form is not a file anyone wrote; refusing it keeps the
// list's memory bounded whatever the file claims.
inline constexpr std::size_t kMostChunks = 65536;
// The most bytes of a stream's chunks other than data that are kept for readChunk.
inline constexpr std::uint64_t kMostKeptBytes = 16 * 1024 * 1024;

// Walks a source that can seek whole, or a stream up to its data chunk's first byte.
WalkResult walkWave(source::ByteSource& source, WaveLayout* layout);
// Walks a stream on from the end of its data chunk (the source stands there) to its end.
WalkResult walkAfterData(source::ByteSource& source, WaveLayout* layout);

// Reads exactly count bytes at a 64-bit offset (of a stream: at or after where it stands).
bool readAt(source::ByteSource& source, std::uint64_t offset, void* destination, std::size_t count);

}  // namespace pcmwrap::riff
