#pragma once
// An independent reading of a fuzz input's bytes as RIFF chunks, written plainly from
// the file layout, so that the fuzz targets can check what the file I/O and the wave
// layer report instead of only watching them not crash.

#include <cstdint>
#include <optional>

#include "platform/little_endian.h"
#include "platform/win_types.h"

namespace fuzzsupport {

inline constexpr std::uint64_t kHeaderBytes = 8;
inline constexpr std::uint64_t kFormTypeBytes = 4;
// A RIFF file's first inner chunk: after "RIFF", the size and the form type.
inline constexpr std::uint64_t kFirstInnerChunk = 12;
// A fmt chunk's format: 16 bytes for PCM, else the 18-byte record with its extra size.
inline constexpr std::uint64_t kPcmFormatBytes = 16;
inline constexpr std::uint64_t kFormatRecordBytes = 18;

struct Input {
    const std::uint8_t* data;
    std::uint64_t size;

    // Whether [offset, offset + count) lies within the input.
    bool holds(std::uint64_t offset, std::uint64_t count) const { return offset <= size && count <= size - offset; }
    // How many bytes the input holds from offset on.
    std::uint64_t heldFrom(std::uint64_t offset) const { return offset <= size ? size - offset : 0; }
    std::uint32_t field32(std::uint64_t offset) const { return readLittleEndian32(data + offset); }
    std::uint16_t field16(std::uint64_t offset) const { return readLittleEndian16(data + offset); }
};

// One chunk header as the bytes state it.
struct RawChunk {
    std::uint64_t header;  // offset of the id
    FOURCC id;
    std::uint32_t size;

    std::uint64_t dataOffset() const { return header + kHeaderBytes; }
    // Where the data and its pad byte end: the next chunk's header.
    std::uint64_t end() const { return dataOffset() + size + (size & 1u); }
};

inline bool isFormId(FOURCC id)
{
    return id == mmioFOURCC('R', 'I', 'F', 'F') || id == mmioFOURCC('L', 'I', 'S', 'T');
}

// The chunk header at `at` when it lies wholly inside both the input and a parent
// whose data ends at `end`.
inline std::optional<RawChunk> headerAt(const Input& input, std::uint64_t at, std::uint64_t end)
{
    if (at > end || end - at < kHeaderBytes || !input.holds(at, kHeaderBytes)) {
        return std::nullopt;
    }
    return RawChunk{at, input.field32(at), input.field32(at + 4)};
}

// The first chunk with the id, stepping over whole chunks from `at`, as a chunk search
// inside a parent ending at `end` must find it.
inline std::optional<RawChunk> findChunk(const Input& input, std::uint64_t at, std::uint64_t end, FOURCC wanted)
{
    while (const std::optional<RawChunk> chunk = headerAt(input, at, end)) {
        if (chunk->id == wanted) {
            return chunk;
        }
        at = chunk->end();
    }
    return std::nullopt;
}

// Where the data of the first RIFF form ends by its own claim, taken in 64 bits.
inline std::uint64_t riffFormEnd(const Input& input)
{
    return kHeaderBytes + std::uint64_t{input.field32(4)};
}

}  // namespace fuzzsupport
