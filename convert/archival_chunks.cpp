#include "convert/archival_chunks.h"

#include <span>
#include <string_view>

#include "platform/little_endian.h"
#include "wavfile/broadcast_metadata.h"

namespace {

constexpr std::uint32_t kFormHeaderBytes = 12;
constexpr std::uint32_t kDs64ChunkBytes = 8 + 28;
constexpr std::uint32_t kChunkHeaderBytes = 8;

void appendChunk(std::vector<std::uint8_t>& bytes, std::string_view id, std::span<const unsigned char> data)
{
    bytes.insert(bytes.end(), id.begin(), id.end());
    unsigned char size[4];
    writeLittleEndian32(size, static_cast<std::uint32_t>(data.size()));
    bytes.insert(bytes.end(), size, size + 4);
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) {
        bytes.push_back(0);
    }
}

}  // namespace

ArchivalLayout archivalLayout(const ArchivalMetadata& metadata, bool rf64)
{
    ArchivalLayout layout;
    if (metadata.bext) {
        appendChunk(layout.leading, "bext", pcmwrap::meta::bextChunkData(*metadata.bext));
        if (metadata.loudness) {
            // bext is the first chunk after the form's header (and ds64).
            layout.loudnessOffset = kFormHeaderBytes + (rf64 ? kDs64ChunkBytes : 0) + kChunkHeaderBytes +
                                    static_cast<std::uint32_t>(pcmwrap::meta::kLoudnessOffset);
        }
    }
    if (!metadata.info.empty()) {
        appendChunk(layout.middle, "LIST", pcmwrap::meta::infoListData(metadata.info));
    }
    if (metadata.md5) {
        layout.trailingBytes = kChunkHeaderBytes + pcmwrap::meta::kMd5Bytes;
    }
    return layout;
}

std::vector<std::uint8_t> md5Chunk(const pcmwrap::Md5Digest& digest)
{
    std::vector<std::uint8_t> bytes;
    appendChunk(bytes, "MD5 ", pcmwrap::meta::md5ChunkData(digest));
    return bytes;
}
