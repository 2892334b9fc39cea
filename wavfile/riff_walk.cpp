// The 64-bit walk of a WAVE file's top-level chunks (RIFF, RF64 and BW64 forms), over a
// source that can seek or a stream.

#include "wavfile/riff_walk.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/little_endian.h"
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
// The end of a stream, whose length is not known: no bound but what it holds.
constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();

struct Ds64 {
    std::uint64_t riffSize = 0;
    std::uint64_t dataSize = 0;
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

// The length of what can be walked: the file's, or no bound for a stream.
std::uint64_t walkLimit(const source::ByteSource& source)
{
    return source.size().value_or(kUnbounded);
}

// Whether the source holds count bytes from offset on, as far as it can tell before
// reading them: a stream's claims are tested by the reads themselves.
bool holds(const source::ByteSource& source, std::uint64_t offset, std::uint64_t count)
{
    const std::uint64_t limit = walkLimit(source);
    return offset <= limit && limit - offset >= count;
}

WalkResult readDs64(source::ByteSource& source, Ds64* ds64, WaveLayout* layout)
{
    unsigned char header[kChunkHeaderBytes];
    if (!holds(source, kFormHeaderBytes, kChunkHeaderBytes)) {
        return WalkResult::kHeaderCut;
    }
    if (!readAt(source, kFormHeaderBytes, header, sizeof header)) {
        return source.canSeek() ? WalkResult::kReadFailed : WalkResult::kHeaderCut;
    }
    const std::uint32_t size = readLittleEndian32(header + 4);
    if (readLittleEndian32(header) != kFourccDs64 || size < kDs64SizesBytes) {
        return WalkResult::kNoDs64;
    }
    unsigned char sizes[kDs64SizesBytes + 4] = {};
    const std::size_t fixed = size >= sizeof sizes ? sizeof sizes : kDs64SizesBytes;
    if (!holds(source, kFormHeaderBytes + kChunkHeaderBytes, fixed) || !source.readExactly(sizes, fixed)) {
        return WalkResult::kHeaderCut;
    }
    ds64->riffSize = readLittleEndian64(sizes);
    ds64->dataSize = readLittleEndian64(sizes + 8);
    const std::uint32_t entries = fixed == sizeof sizes ? readLittleEndian32(sizes + kDs64SizesBytes) : 0;
    // Only entries that lie inside the chunk and the file are taken.
    const std::uint64_t room = (size - fixed) / kDs64TableEntryBytes;
    const std::uint64_t taken = std::min<std::uint64_t>({entries, room, kMostTableEntries});
    const std::uint64_t tableOffset = kFormHeaderBytes + kChunkHeaderBytes + fixed;
    if (!holds(source, tableOffset, taken * kDs64TableEntryBytes)) {
        return WalkResult::kHeaderCut;
    }
    for (std::uint64_t i = 0; i < taken; ++i) {
        unsigned char entry[kDs64TableEntryBytes];
        if (!source.readExactly(entry, sizeof entry)) {
            return WalkResult::kHeaderCut;
        }
        layout->largeSizes.emplace_back(readLittleEndian32(entry), readLittleEndian64(entry + 4));
    }
    // Listed as the chunks after it are: a caller sees the file's every chunk.
    layout->chunks.push_back(ChunkInfo{idText(kFourccDs64), kFormHeaderBytes + kChunkHeaderBytes, size});
    return WalkResult::kOk;
}

// The true size of a chunk whose 32-bit field says "look in ds64".
std::uint64_t largeSize(const WaveLayout& layout, const Ds64& ds64, FOURCC id, std::uint32_t field)
{
    if (id == kFourccData) {
        return ds64.dataSize;
    }
    const auto& table = layout.largeSizes;
    const auto entry = std::find_if(table.begin(), table.end(), [&](const auto& e) { return e.first == id; });
    return entry != table.end() ? entry->second : field;
}

// Whether a form size was never filled in: 0 (or too small to hold the type), or all ones.
bool unsetFormSize(std::uint64_t claimed)
{
    return claimed < 4 || claimed == kSizeInDs64;
}

// Where the form's chunks end: its claimed size when the file holds it; a size never
// filled in or one past the end of the file leaves the file's end.
std::uint64_t formEnd(std::uint64_t claimed, std::uint64_t limit)
{
    if (unsetFormSize(claimed) || claimed > limit - 8) {
        return limit;
    }
    return claimed + 8;
}

// Keeps a stream's chunk bytes for readChunk, within the bound of all kept; a chunk past
// the bound is dropped. False when the stream ends inside it.
bool keepOrDrop(source::ByteSource& source, WaveLayout* layout, std::uint64_t size)
{
    std::uint64_t keptSoFar = 0;
    for (const auto& entry : layout->kept) {
        keptSoFar += entry.second.size();
    }
    if (size <= kMostKeptBytes - std::min(keptSoFar, kMostKeptBytes)) {
        std::vector<std::byte> bytes(static_cast<std::size_t>(size));
        if (!source.readExactly(bytes.data(), bytes.size())) {
            return false;
        }
        layout->kept.emplace_back(layout->chunks.size() - 1, std::move(bytes));
        return true;
    }
    return source.moveTo(source.position() + size);
}

// Walks the chunks from position to end. A stream stops at the data chunk's first byte.
WalkResult walkChunks(source::ByteSource& source, WaveLayout* layout, std::uint64_t position, const Ds64& ds64,
                      std::uint64_t claimedFormSize)
{
    const bool large = layout->form != kFourccRiff;
    const bool stream = !source.canSeek();
    const std::uint64_t limit = walkLimit(source);
    std::uint64_t& end = layout->formEnd;
    for (;;) {
        if (position >= end || end - position < kChunkHeaderBytes) {
            // A form size that stops short of the fmt or data chunk, even inside its
            // header, was never brought up to date: the chunks the file holds after it
            // are the form's.
            if ((layout->fmt < 0 || layout->data < 0) && end < limit) {
                end = limit;
                continue;
            }
            // A few stray bytes at the form's end are no chunk; at the file's end they are
            // a header cut short.
            layout->cutShort = position < end && end == limit;
            break;
        }
        unsigned char header[kChunkHeaderBytes];
        if (!source.moveTo(position)) {
            return stream ? WalkResult::kOk : WalkResult::kReadFailed;
        }
        const std::ptrdiff_t got = source.read(header, sizeof header);
        if (got < 0) {
            return WalkResult::kReadFailed;
        }
        if (got < static_cast<std::ptrdiff_t>(sizeof header) &&
            (got == 0 || !source.readExactly(header + got, sizeof header - static_cast<std::size_t>(got)))) {
            // A stream ends where it ends: nothing at all is its end, a part of a header is cut.
            layout->cutShort = got > 0 || !stream;
            break;
        }
        const FOURCC id = readLittleEndian32(header);
        const std::uint32_t field = readLittleEndian32(header + 4);
        const std::uint64_t dataOffset = position + kChunkHeaderBytes;
        const std::uint64_t room = limit - std::min(limit, dataOffset);
        std::uint64_t size = large && field == kSizeInDs64 ? largeSize(*layout, ds64, id, field) : field;
        bool streamedData = false;
        if (id == kFourccData && layout->data < 0) {
            const bool unsetSize = large ? field == kSizeInDs64 && size == 0 : field == 0 || field == kSizeInDs64;
            // A size of 0 was never filled in only when nothing can follow the data chunk
            // inside the form's claimed size; otherwise it is a data chunk without samples.
            const bool nothingFollows =
                unsetFormSize(claimedFormSize) || claimedFormSize + 8 <= dataOffset || field == kSizeInDs64;
            streamedData = (unsetSize && nothingFollows) || size > room;
            layout->dataStreamed = streamedData;
            if (streamedData) {
                size = stream ? 0 : room;
            }
            layout->data = static_cast<long>(layout->chunks.size());
        } else if (id == kFourccFmt && layout->fmt < 0) {
            layout->fmt = static_cast<long>(layout->chunks.size());
        }
        if (layout->chunks.size() == kMostChunks) {
            return WalkResult::kTooManyChunks;
        }
        layout->chunks.push_back(ChunkInfo{idText(id), dataOffset, size});
        if (streamedData || (stream && id == kFourccData && static_cast<long>(layout->chunks.size()) - 1 == layout->data)) {
            // The samples come next; a streamed data chunk runs to the end of the file.
            layout->fileSize = stream ? dataOffset : layout->fileSize;
            return WalkResult::kOk;
        }
        if (size > room) {
            layout->cutShort = true;
            break;
        }
        if (stream && !keepOrDrop(source, layout, size)) {
            layout->cutShort = true;
            break;
        }
        position = dataOffset + size + (size & 1u);
    }
    if (stream) {
        layout->fileSize = source.position();
    }
    return WalkResult::kOk;
}

}  // namespace

bool readAt(source::ByteSource& source, std::uint64_t offset, void* destination, std::size_t count)
{
    return source.moveTo(offset) && source.readExactly(destination, count);
}

WalkResult walkWave(source::ByteSource& source, WaveLayout* layout)
{
    *layout = WaveLayout{};
    const std::uint64_t limit = walkLimit(source);
    layout->fileSize = source.size().value_or(0);
    unsigned char form[kFormHeaderBytes] = {};
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(limit, kFormHeaderBytes));
    std::size_t held = 0;
    while (held < wanted) {
        const std::ptrdiff_t got = source.read(form + held, wanted - held);
        if (got < 0) {
            return WalkResult::kReadFailed;
        }
        if (got == 0) {
            break;
        }
        held += static_cast<std::size_t>(got);
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
    std::uint64_t claimed = readLittleEndian32(form + 4);
    if (large) {
        if (const WalkResult result = readDs64(source, &ds64, layout); result != WalkResult::kOk) {
            return result;
        }
        claimed = ds64.riffSize;
    }
    layout->formEnd = formEnd(claimed, limit);
    layout->largeSizes.emplace_back(kFourccData, ds64.dataSize);
    // The chunks after ds64 begin past its whole size, table and any padding included.
    const std::uint64_t first =
        large ? layout->chunks.back().offset + layout->chunks.back().size + (layout->chunks.back().size & 1u)
              : kFormHeaderBytes;
    return walkChunks(source, layout, first, ds64, claimed);
}

WalkResult walkAfterData(source::ByteSource& source, WaveLayout* layout)
{
    if (source.canSeek() || layout->data < 0) {
        return WalkResult::kOk;
    }
    const ChunkInfo& data = layout->chunks[static_cast<std::size_t>(layout->data)];
    if (layout->dataStreamed) {
        // What the stream held, now that its end is known.
        layout->chunks[static_cast<std::size_t>(layout->data)].size = source.position() - data.offset;
        layout->fileSize = source.position();
        return WalkResult::kOk;
    }
    Ds64 ds64;
    const auto entry = std::find_if(layout->largeSizes.begin(), layout->largeSizes.end(),
                                    [](const auto& e) { return e.first == kFourccData; });
    ds64.dataSize = entry != layout->largeSizes.end() ? entry->second : 0;
    // The pad byte of odd data may be missing at the very end of the stream.
    const std::uint64_t next = data.offset + data.size + (data.size & 1u);
    const std::uint64_t claimed = layout->formEnd == kUnbounded ? 0 : layout->formEnd - 8;
    return walkChunks(source, layout, next, ds64, claimed);
}

}  // namespace pcmwrap::riff
