// The 64-bit walk of a WAVE file's top-level chunks (RIFF, RF64 and BW64 forms).

#include "wavfile/riff_walk.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/fourcc.h"

namespace pcmwrap::riff {

namespace {

constexpr FOURCC kFourccBw64 = mmioFOURCC('B', 'W', '6', '4');
constexpr std::uint64_t kFormHeaderBytes = 12;  // id, size, type
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr DWORD kSizeInDs64 = 0xFFFFFFFFu;
// ds64: RIFF size, data size, sample count (64 bits each), then a table of the other
// chunks too large for their 32-bit field: its length, and per entry an id and a size.
constexpr std::size_t kDs64SizesBytes = 24;
constexpr std::size_t kDs64TableEntryBytes = 12;
// A table longer than this names more large chunks than a file can have.
constexpr std::uint32_t kMostTableEntries = 256;

struct Ds64 {
    std::uint64_t riffSize = 0;
    std::uint64_t dataSize = 0;
    std::vector<std::pair<FOURCC, std::uint64_t>> table;
};

std::uint64_t readLittleEndian64(const unsigned char* bytes)
{
    return std::uint64_t{readLittleEndian32(bytes)} | std::uint64_t{readLittleEndian32(bytes + 4)} << 32;
}

std::string idText(FOURCC id)
{
    std::string text(4, ' ');
    for (std::size_t i = 0; i < 4; ++i) {
        text[i] = static_cast<char>((id >> (8 * i)) & 0xFF);
    }
    return text;
}

WalkResult readDs64(HMMIO handle, std::uint64_t fileSize, Ds64* ds64)
{
    unsigned char header[kChunkHeaderBytes];
    if (fileSize < kFormHeaderBytes + kChunkHeaderBytes) {
        return WalkResult::kHeaderCut;
    }
    if (!readAt(handle, kFormHeaderBytes, header, sizeof header)) {
        return WalkResult::kReadFailed;
    }
    const std::uint32_t size = readLittleEndian32(header + 4);
    if (readLittleEndian32(header) != kFourccDs64 || size < kDs64SizesBytes) {
        return WalkResult::kNoDs64;
    }
    if (!fileHolds(handle, kFormHeaderBytes + kChunkHeaderBytes, std::min<std::uint64_t>(size, kDs64SizesBytes + 4))) {
        return WalkResult::kHeaderCut;
    }
    unsigned char sizes[kDs64SizesBytes + 4] = {};
    const std::size_t fixed = size >= sizeof sizes ? sizeof sizes : kDs64SizesBytes;
    if (!readExactly(handle, sizes, static_cast<DWORD>(fixed))) {
        return WalkResult::kReadFailed;
    }
    ds64->riffSize = readLittleEndian64(sizes);
    ds64->dataSize = readLittleEndian64(sizes + 8);
    const std::uint32_t entries = fixed == sizeof sizes ? readLittleEndian32(sizes + kDs64SizesBytes) : 0;
    // Only entries that lie inside the chunk and the file are taken.
    const std::uint64_t room = (size - fixed) / kDs64TableEntryBytes;
    const std::uint64_t taken = std::min<std::uint64_t>({entries, room, kMostTableEntries});
    const std::uint64_t tableOffset = kFormHeaderBytes + kChunkHeaderBytes + fixed;
    if (!fileHolds(handle, tableOffset, taken * kDs64TableEntryBytes)) {
        return WalkResult::kHeaderCut;
    }
    for (std::uint64_t i = 0; i < taken; ++i) {
        unsigned char entry[kDs64TableEntryBytes];
        if (!readExactly(handle, entry, sizeof entry)) {
            return WalkResult::kReadFailed;
        }
        ds64->table.emplace_back(readLittleEndian32(entry), readLittleEndian64(entry + 4));
    }
    return WalkResult::kOk;
}

// The true size of a chunk whose 32-bit field says "look in ds64".
std::uint64_t largeSize(const Ds64& ds64, FOURCC id, std::uint32_t field)
{
    if (id == kFourccData) {
        return ds64.dataSize;
    }
    const auto entry = std::find_if(ds64.table.begin(), ds64.table.end(), [&](const auto& e) { return e.first == id; });
    return entry != ds64.table.end() ? entry->second : field;
}

// Where the form's chunks end: its claimed size when the file holds it; a size never
// filled in (0, all ones) or one past the end of the file leaves the file's end.
std::uint64_t formEnd(std::uint64_t claimed, std::uint64_t fileSize)
{
    if (claimed < 4 || claimed == kSizeInDs64 || claimed > fileSize - 8) {
        return fileSize;
    }
    return claimed + 8;
}

}  // namespace

bool readAt(HMMIO handle, std::uint64_t offset, void* destination, std::size_t count)
{
    return count <= kLargestTransfer && mmioSeekTo(handle, offset) == MMSYSERR_NOERROR &&
           readExactly(handle, destination, static_cast<DWORD>(count));
}

WalkResult walkWave(HMMIO handle, WaveLayout* layout)
{
    *layout = WaveLayout{};
    if (mmioGetFileSize(handle, &layout->fileSize) != MMSYSERR_NOERROR) {
        return WalkResult::kReadFailed;
    }
    const std::uint64_t fileSize = layout->fileSize;
    unsigned char form[kFormHeaderBytes] = {};
    const auto held = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kFormHeaderBytes));
    if (!readAt(handle, 0, form, held)) {
        return WalkResult::kReadFailed;
    }
    layout->form = readLittleEndian32(form);
    const bool large = layout->form == kFourccRf64 || layout->form == kFourccBw64;
    if (held < 4 || (layout->form != kFourccRiff && !large)) {
        return WalkResult::kNotWave;
    }
    if (held < kFormHeaderBytes) {
        return WalkResult::kHeaderCut;
    }
    if (readLittleEndian32(form + 8) != kFourccWave) {
        return WalkResult::kNotWave;
    }

    Ds64 ds64;
    std::uint64_t end = formEnd(readLittleEndian32(form + 4), fileSize);
    if (large) {
        if (const WalkResult result = readDs64(handle, fileSize, &ds64); result != WalkResult::kOk) {
            return result;
        }
        end = formEnd(ds64.riffSize, fileSize);
    }

    std::uint64_t position = kFormHeaderBytes;
    for (;;) {
        if (position >= end) {
            // A form size that stops short of the fmt or data chunk was never brought up
            // to date: the chunks the file holds after it are the form's.
            if ((layout->fmt < 0 || layout->data < 0) && end < fileSize) {
                end = fileSize;
                continue;
            }
            break;
        }
        if (end - position < kChunkHeaderBytes) {
            // A few stray bytes at the form's end are no chunk; at the file's end they are
            // a header cut short.
            layout->cutShort = end == fileSize;
            break;
        }
        unsigned char header[kChunkHeaderBytes];
        if (!readAt(handle, position, header, sizeof header)) {
            return WalkResult::kReadFailed;
        }
        const FOURCC id = readLittleEndian32(header);
        const std::uint32_t field = readLittleEndian32(header + 4);
        const std::uint64_t dataOffset = position + kChunkHeaderBytes;
        const std::uint64_t room = fileSize - dataOffset;
        std::uint64_t size = large && field == kSizeInDs64 ? largeSize(ds64, id, field) : field;
        if (id == kFourccData && layout->data < 0) {
            const bool unset = large ? field == kSizeInDs64 && size == 0 : field == 0 || field == kSizeInDs64;
            layout->dataStreamed = unset || size > room;
            if (layout->dataStreamed) {
                size = room;
            }
            layout->data = static_cast<long>(layout->chunks.size());
        } else if (id == kFourccFmt && layout->fmt < 0) {
            layout->fmt = static_cast<long>(layout->chunks.size());
        }
        if (layout->chunks.size() == kMostChunks) {
            return WalkResult::kTooManyChunks;
        }
        layout->chunks.push_back(ChunkInfo{idText(id), dataOffset, size});
        if (layout->dataStreamed && id == kFourccData) {
            break;  // the samples run to the end of the file: nothing follows them
        }
        if (size > room) {
            layout->cutShort = true;
            break;
        }
        position = dataOffset + size + (size & 1u);
    }
    return WalkResult::kOk;
}

}  // namespace pcmwrap::riff
