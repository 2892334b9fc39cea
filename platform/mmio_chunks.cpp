// The RIFF file I/O stand-in's chunk walk: creating a chunk, descending into one (also
// searching a parent for it) and ascending out of it, settling a created chunk's size.
// It reaches the file only through the buffered engine of mmio_file.cpp, and bounds
// every size it reads by the parent and the file, in 64 bits, before using it.

#include <cstdint>
#include <limits>

#include "platform/little_endian.h"
#include "platform/mmio.h"
#include "platform/mmio_file.h"

namespace {

constexpr std::uint64_t kChunkHeaderBytes = 8;

constexpr FOURCC kRiff = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC kList = mmioFOURCC('L', 'I', 'S', 'T');

bool isForm(FOURCC id)
{
    return id == kRiff || id == kList;
}

// Reads a chunk header at the position: id and size, and for a RIFF or LIST form its
// type. The header must lie wholly before `end`.
MMRESULT readChunkHeader(MmioFile& file, MMCKINFO* chunk, std::uint64_t end)
{
    const std::uint64_t start = file.position();
    if (start > end || end - start < kChunkHeaderBytes) {
        return MMIOERR_CHUNKNOTFOUND;
    }
    unsigned char header[kChunkHeaderBytes];
    if (!file.readAll(header, sizeof header)) {
        return MMIOERR_CHUNKNOTFOUND;
    }
    chunk->ckid = readLittleEndian32(header);
    chunk->cksize = readLittleEndian32(header + 4);
    chunk->fccType = 0;
    chunk->dwFlags = 0;
    const std::uint64_t dataOffset = start + kChunkHeaderBytes;
    if (dataOffset > std::numeric_limits<DWORD>::max()) {
        return MMIOERR_CHUNKNOTFOUND;  // beyond what a RIFF file can address
    }
    chunk->dwDataOffset = static_cast<DWORD>(dataOffset);
    return MMSYSERR_NOERROR;
}

MMRESULT readFormType(MmioFile& file, MMCKINFO* chunk, std::uint64_t end)
{
    unsigned char type[4];
    if (end - file.position() < sizeof type || !file.readAll(type, sizeof type)) {
        return MMIOERR_CHUNKNOTFOUND;
    }
    chunk->fccType = readLittleEndian32(type);
    return MMSYSERR_NOERROR;
}

// Where the chunk's data and its pad byte end.
std::uint64_t chunkEnd(const MMCKINFO& chunk)
{
    return std::uint64_t{chunk.dwDataOffset} + chunk.cksize + (chunk.cksize & 1u);
}

MMRESULT writeChunkSize(MmioFile& file, const MMCKINFO& chunk, DWORD size)
{
    unsigned char field[4];
    writeLittleEndian32(field, size);
    // The size field stands just before the data (for a form, before its type).
    const std::uint64_t fieldOffset = std::uint64_t{chunk.dwDataOffset} - 4;
    if (const MMRESULT result = file.moveTo(fieldOffset); result != MMSYSERR_NOERROR) {
        return result;
    }
    return file.writeAll(field, sizeof field) ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

}  // namespace

MMRESULT mmioDescend(HMMIO handle, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags)
{
    MmioFile* open = nullptr;
    if (const MMRESULT result = findRecordCall(handle, chunk, &open); result != MMSYSERR_NOERROR) {
        return result;
    }
    MmioFile& file = *open;
    // A chunk inside a parent must lie in the parent's data; the parent's size is a
    // claim of the file, taken in 64 bits so that it cannot wrap.
    const std::uint64_t end = parent != nullptr ? std::uint64_t{parent->dwDataOffset} + parent->cksize
                                                : std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t start = file.position();

    if ((flags & MMIO_FINDCHUNK) == 0) {
        if (const MMRESULT result = readChunkHeader(file, chunk, end); result != MMSYSERR_NOERROR) {
            file.moveTo(start);
            return result;
        }
        if (isForm(chunk->ckid)) {
            if (const MMRESULT result = readFormType(file, chunk, end); result != MMSYSERR_NOERROR) {
                file.moveTo(start);
                return result;
            }
        }
        return MMSYSERR_NOERROR;
    }

    // Skips whole chunks, pad bytes included, to the first with the wanted id. Every
    // step moves forward by at least a header, so the search ends.
    const FOURCC wanted = chunk->ckid;
    MMCKINFO candidate{};
    for (;;) {
        if (const MMRESULT result = readChunkHeader(file, &candidate, end); result != MMSYSERR_NOERROR) {
            file.moveTo(start);
            return MMIOERR_CHUNKNOTFOUND;
        }
        if (candidate.ckid == wanted) {
            *chunk = candidate;
            return MMSYSERR_NOERROR;
        }
        const std::uint64_t following = chunkEnd(candidate);
        if (following > end || file.moveTo(following) != MMSYSERR_NOERROR) {
            file.moveTo(start);
            return MMIOERR_CHUNKNOTFOUND;
        }
    }
}

MMRESULT mmioAscend(HMMIO handle, MMCKINFO* chunk, UINT /*flags*/)
{
    MmioFile* open = nullptr;
    if (const MMRESULT result = checkRecordCall(handle, chunk, &open); result != MMSYSERR_NOERROR) {
        return result;
    }
    MmioFile& file = *open;
    if ((chunk->dwFlags & MMIO_DIRTY) == 0) {
        return file.moveTo(chunkEnd(*chunk));
    }

    // A chunk made by mmioCreateChunk ends at the current position: settle its size.
    const std::uint64_t dataEnd = file.position();
    if (dataEnd < chunk->dwDataOffset) {
        return MMSYSERR_INVALPARAM;
    }
    const std::uint64_t length = dataEnd - chunk->dwDataOffset;
    if (length > std::numeric_limits<DWORD>::max()) {
        return MMIOERR_CANNOTEXPAND;
    }
    if (length % 2 != 0) {
        const char pad = 0;
        if (file.write(&pad, 1) != 1) {
            return file.writeError != MMSYSERR_NOERROR ? file.writeError : MMIOERR_CANNOTEXPAND;
        }
    }
    const std::uint64_t after = file.position();
    if (length != chunk->cksize) {
        if (const MMRESULT result = writeChunkSize(file, *chunk, static_cast<DWORD>(length));
            result != MMSYSERR_NOERROR) {
            return file.writeError != MMSYSERR_NOERROR ? file.writeError : result;
        }
        chunk->cksize = static_cast<DWORD>(length);
    }
    chunk->dwFlags &= ~MMIO_DIRTY;
    return file.moveTo(after);
}

MMRESULT mmioCreateChunk(HMMIO handle, MMCKINFO* chunk, UINT flags)
{
    MmioFile* open = nullptr;
    if (const MMRESULT result = findRecordCall(handle, chunk, &open); result != MMSYSERR_NOERROR) {
        return result;
    }
    MmioFile& file = *open;
    if (!file.writable) {
        return MMIOERR_CANNOTWRITE;
    }
    if (file.writeError != MMSYSERR_NOERROR) {
        return file.writeError;
    }
    const bool form = (flags & MMIO_CREATERIFF) != 0;
    if (form) {
        chunk->ckid = kRiff;
    }
    unsigned char header[12];
    writeLittleEndian32(header, chunk->ckid);
    writeLittleEndian32(header + 4, chunk->cksize);
    writeLittleEndian32(header + 8, chunk->fccType);
    const std::size_t headerBytes = form ? 12 : 8;
    const std::uint64_t start = file.position();
    if (start + headerBytes > std::numeric_limits<DWORD>::max()) {
        return MMIOERR_CANNOTEXPAND;
    }
    const LONG put = file.write(reinterpret_cast<const char*>(header), static_cast<LONG>(headerBytes));
    if (put != static_cast<LONG>(headerBytes)) {
        return file.writeError != MMSYSERR_NOERROR ? file.writeError : MMIOERR_CANNOTEXPAND;
    }
    // For a form the data offset is that of its type, so its size counts the type too.
    chunk->dwDataOffset = static_cast<DWORD>(start + 8);
    chunk->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}
