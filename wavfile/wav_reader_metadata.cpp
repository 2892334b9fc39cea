// WavReader's broadcast metadata: the bext chunk, the INFO tags and the stored MD5, read
// through the shared chunk list and parsed by the one parser of broadcast_metadata.

#include <algorithm>
#include <vector>

#include "wavfile/broadcast_metadata.h"
#include "wavfile/md5_hash.h"
#include "wavfile/wav_file.h"
#include "wave/wave.h"

namespace pcmwrap {

namespace {

// Larger metadata chunks than this are no one's metadata: they are not loaded whole.
constexpr std::uint64_t kLargestMetadataChunk = 16 * 1024 * 1024;
// The piece of the data chunk hashed at a time.
constexpr std::size_t kHashPieceBytes = 1024 * 1024;

std::vector<unsigned char> asBytes(const std::vector<std::byte>& bytes)
{
    std::vector<unsigned char> result(bytes.size());
    std::transform(bytes.begin(), bytes.end(), result.begin(), [](std::byte b) { return std::to_integer<unsigned char>(b); });
    return result;
}

const ChunkInfo* firstChunk(const std::vector<ChunkInfo>& chunks, std::string_view id)
{
    const auto found = std::find_if(chunks.begin(), chunks.end(), [&](const ChunkInfo& c) { return c.id == id; });
    return found == chunks.end() ? nullptr : &*found;
}

}  // namespace

std::optional<BroadcastExtension> WavReader::broadcastExtension()
{
    const ChunkInfo* chunk = firstChunk(chunks(), "bext");
    if (chunk == nullptr) {
        return std::nullopt;
    }
    if (chunk->size > kLargestMetadataChunk) {
        throw WavError(WAV_ERR_BAD_FORMAT, "a bext chunk of " + std::to_string(chunk->size) + " bytes");
    }
    std::vector<meta::Finding> findings;
    auto bext = meta::parseBext(asBytes(readChunk(*chunk)), &findings);
    if (!bext) {
        throw WavError(WAV_ERR_BAD_FORMAT, findings.front().message);
    }
    return bext;
}

std::vector<InfoTag> WavReader::infoTags()
{
    std::vector<InfoTag> tags;
    for (const ChunkInfo& chunk : chunks()) {
        if (chunk.id != "LIST" || chunk.size > kLargestMetadataChunk) {
            continue;
        }
        std::vector<meta::Finding> findings;
        auto found = meta::parseInfoList(asBytes(readChunk(chunk)), &findings);
        tags.insert(tags.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
    return tags;
}

std::optional<Md5Digest> WavReader::storedMd5()
{
    const ChunkInfo* chunk = firstChunk(chunks(), "MD5 ");
    if (chunk == nullptr) {
        return std::nullopt;
    }
    if (chunk->size != meta::kMd5Bytes) {
        throw WavError(WAV_ERR_BAD_FORMAT, "an MD5 chunk of " + std::to_string(chunk->size) + " bytes, not 16");
    }
    std::vector<meta::Finding> findings;
    return meta::parseMd5(asBytes(readChunk(*chunk)), &findings);
}

bool WavReader::verifyMd5()
{
    const auto stored = storedMd5();
    if (!stored) {
        throw WavError(WAV_ERR_BAD_FORMAT, "no MD5 chunk");
    }
    const ChunkInfo* data = firstChunk(chunks(), "data");
    Md5Hash hash;
    std::vector<std::byte> piece(static_cast<std::size_t>(std::min<std::uint64_t>(data->size, kHashPieceBytes)));
    for (std::uint64_t done = 0; done < data->size;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(data->size - done, piece.size()));
        readData(done, std::span(piece.data(), count));
        hash.update(piece.data(), count);
        done += count;
    }
    return hash.digest() == *stored;
}

}  // namespace pcmwrap
