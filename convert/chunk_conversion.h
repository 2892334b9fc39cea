#pragma once
// How a chunk of a dump becomes the file's bytes, for each sample format and byte order:
// the kernel that converts it (none where the bytes are the file's already) and the sizes
// of a sample on both sides.

#include <cstdint>
#include <span>

#include "convert/chunk.h"
#include "formats/sample_format.h"

struct ChunkConversion {
    using Kernel = void (*)(std::span<const std::uint8_t, kChunkBytes>, std::span<std::uint8_t, kChunkBytes>);

    // Null: the samples are copied as they are (8-bit unsigned, and every little-endian
    // format but s8 and s24in32).
    Kernel kernel = nullptr;
    std::uint32_t dumpSampleBytes = 1;
    std::uint32_t fileSampleBytes = 1;
    // s24in32: the high byte of each word must be checked before it is dropped.
    bool dropsHighBytes = false;

    // The file bytes that `dumpBytes` bytes of the dump give: whole samples, then as many
    // bytes of a partial last sample as the dump holds, at most a whole sample's.
    std::uint64_t fileBytes(std::uint64_t dumpBytes) const;
};

ChunkConversion chunkConversion(pcmwrap::SampleFormat format, bool littleEndian);
