// The RIFF file I/O stand-in: a buffered file over POSIX pread/pwrite.
//
// The handle keeps one buffer that mirrors the file region [base, base + capacity).
// `valid` bytes of it hold the file's content (read from the file or written by the
// caller); `next` is the current position inside it. A buffer is loaded from the file
// before it is used, so that writing a few bytes in the middle of a file (the sizes
// settled when a file is finished) never clobbers the bytes around them.

#include "platform/mmio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

#include "platform/little_endian.h"
#include "platform/mmio_testing.h"

namespace {

// Large enough that the file sees few, big transfers.
constexpr std::size_t kMmioBufferBytes = 256 * 1024;
constexpr std::uint64_t kChunkHeaderBytes = 8;

std::atomic<std::uint64_t> maximumFileSize{kMmioMaximumFileSize};

constexpr FOURCC kRiff = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC kList = mmioFOURCC('L', 'I', 'S', 'T');

bool isForm(FOURCC id)
{
    return id == kRiff || id == kList;
}

}  // namespace

struct MmioFile {
    int fd = -1;
    bool writable = false;
    std::unique_ptr<char[]> buffer;
    std::uint64_t base = 0;      // file offset of buffer[0]
    std::size_t next = 0;        // current position, relative to base
    std::size_t valid = 0;       // bytes of the buffer that hold file content
    bool loaded = false;         // whether the buffer has been filled from the file
    bool dirty = false;          // whether buffer[0, valid) still has to reach the file
    std::uint64_t fileSize = 0;  // length of the file on disk, as far as this handle knows
    MMRESULT writeError = MMSYSERR_NOERROR;  // the first write the system refused, kept

    std::uint64_t position() const { return base + next; }

    // The size of the file including what only the buffer holds yet.
    std::uint64_t logicalSize() const { return std::max(fileSize, dirty ? base + valid : 0); }

    // How far the buffer may be filled by a writer: its capacity, cut at the largest
    // size a RIFF file may reach.
    std::size_t writeLimit() const
    {
        const std::uint64_t ceiling = maximumFileSize.load(std::memory_order_relaxed);
        if (!writable || base >= ceiling) {
            return 0;
        }
        return static_cast<std::size_t>(std::min<std::uint64_t>(kMmioBufferBytes, ceiling - base));
    }

    MMRESULT flush()
    {
        if (writeError != MMSYSERR_NOERROR) {
            return writeError;
        }
        if (!dirty) {
            return MMSYSERR_NOERROR;
        }
        std::size_t done = 0;
        while (done < valid) {
            const ssize_t put = pwrite(fd, buffer.get() + done, valid - done, static_cast<off_t>(base + done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                writeError = MMIOERR_CANNOTWRITE;
                return writeError;
            }
            done += static_cast<std::size_t>(put);
        }
        dirty = false;
        fileSize = std::max(fileSize, base + valid);
        return MMSYSERR_NOERROR;
    }

    // Fills an unloaded buffer with the file's bytes at base.
    MMRESULT load()
    {
        if (loaded) {
            return MMSYSERR_NOERROR;
        }
        valid = 0;
        // Past the end of the file there is nothing to read: a file being written
        // costs no read at all.
        while (base + valid < fileSize && valid < kMmioBufferBytes) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kMmioBufferBytes - valid, fileSize - base - valid));
            const ssize_t got = pread(fd, buffer.get() + valid, want, static_cast<off_t>(base + valid));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return MMIOERR_CANNOTREAD;
            }
            if (got == 0) {
                fileSize = base + valid;  // the file is shorter than it was
                break;
            }
            valid += static_cast<std::size_t>(got);
        }
        loaded = true;
        return MMSYSERR_NOERROR;
    }

    // Moves the position, keeping the buffer when the target lies inside its content.
    MMRESULT moveTo(std::uint64_t target)
    {
        if (loaded && target >= base && target <= base + valid) {
            next = static_cast<std::size_t>(target - base);
            return MMSYSERR_NOERROR;
        }
        if (const MMRESULT result = flush(); result != MMSYSERR_NOERROR) {
            return result;
        }
        base = target;
        next = 0;
        valid = 0;
        loaded = false;
        return MMSYSERR_NOERROR;
    }

    // Starts a new buffer at the current position, writing out the old one first.
    MMRESULT rebaseAtPosition()
    {
        if (const MMRESULT result = flush(); result != MMSYSERR_NOERROR) {
            return result;
        }
        base = position();
        next = 0;
        valid = 0;
        loaded = false;
        return MMSYSERR_NOERROR;
    }

    // Makes the buffer hold the current position with room or content after it.
    MMRESULT prepare()
    {
        if (loaded && next == kMmioBufferBytes) {
            if (const MMRESULT result = rebaseAtPosition(); result != MMSYSERR_NOERROR) {
                return result;
            }
        }
        return load();
    }

    // Reads up to count bytes at the position; the count read, or -1.
    LONG read(char* destination, LONG count)
    {
        LONG done = 0;
        while (done < count) {
            if (prepare() != MMSYSERR_NOERROR) {
                return -1;
            }
            if (next == valid) {
                if (next < kMmioBufferBytes || position() >= logicalSize()) {
                    break;  // end of file
                }
                continue;
            }
            const std::size_t take = std::min<std::size_t>(valid - next, static_cast<std::size_t>(count - done));
            std::memcpy(destination + done, buffer.get() + next, take);
            next += take;
            done += static_cast<LONG>(take);
        }
        return done;
    }

    // Writes up to count bytes at the position; stops short at the largest file size.
    LONG write(const char* source, LONG count)
    {
        if (!writable || writeError != MMSYSERR_NOERROR) {
            return -1;
        }
        LONG done = 0;
        while (done < count) {
            if (prepare() != MMSYSERR_NOERROR) {
                return -1;
            }
            const std::size_t limit = writeLimit();
            if (next >= limit) {
                break;
            }
            const std::size_t take = std::min<std::size_t>(limit - next, static_cast<std::size_t>(count - done));
            std::memcpy(buffer.get() + next, source + done, take);
            next += take;
            valid = std::max(valid, next);
            dirty = true;
            done += static_cast<LONG>(take);
        }
        return done;
    }

    bool writeAll(const void* source, std::size_t count)
    {
        return write(static_cast<const char*>(source), static_cast<LONG>(count)) == static_cast<LONG>(count);
    }

    bool readAll(void* destination, std::size_t count)
    {
        return read(static_cast<char*>(destination), static_cast<LONG>(count)) == static_cast<LONG>(count);
    }

    void describe(MMIOINFO* info) const
    {
        char* const start = buffer.get();
        info->cchBuffer = static_cast<LONG>(kMmioBufferBytes);
        info->pchBuffer = start;
        info->pchNext = start + next;
        info->pchEndRead = start + valid;
        info->pchEndWrite = start + writeLimit();
        info->lBufOffset = static_cast<LONG>(static_cast<std::uint32_t>(base));
        info->lDiskOffset = static_cast<LONG>(static_cast<std::uint32_t>(base + valid));
        info->dwFlags = (info->dwFlags & ~MMIO_DIRTY) | (dirty ? MMIO_DIRTY : 0);
        info->wErrorRet = writeError;
        info->hmmio = const_cast<MmioFile*>(this);
    }

    // Takes back a buffer state that the caller drove; false when it does not
    // describe this handle's buffer or reaches past what may be written.
    bool accept(const MMIOINFO& info)
    {
        char* const start = buffer.get();
        if (info.pchBuffer != start || info.pchNext < start || info.pchNext > start + kMmioBufferBytes) {
            return false;
        }
        const auto callerNext = static_cast<std::size_t>(info.pchNext - start);
        if (info.dwFlags & MMIO_DIRTY) {
            // The bytes before pchNext are now the file's.
            if (callerNext > writeLimit()) {
                return false;
            }
            valid = std::max(valid, callerNext);
            dirty = dirty || valid > 0;
        } else if (callerNext > valid) {
            return false;
        }
        next = callerNext;
        return true;
    }
};

namespace {

// Every open handle, so that a null, stray or closed handle is refused instead of used.
std::mutex openHandlesLock;
std::unordered_set<const MmioFile*> openHandles;

bool isOpen(HMMIO handle)
{
    if (handle == nullptr) {
        return false;
    }
    const std::lock_guard<std::mutex> guard(openHandlesLock);
    return openHandles.count(handle) != 0;
}

// The common gate of the calls that take a record: an open handle, a record, and no
// write the system refused earlier (which every later call reports again).
MMRESULT checkRecordCall(HMMIO handle, const void* record)
{
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (record == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return handle->writeError;
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

void mmioSetMaximumFileSizeForTesting(std::uint64_t bytes)
{
    maximumFileSize.store(bytes, std::memory_order_relaxed);
}

HMMIO mmioOpenA(const char* fileName, MMIOINFO* info, DWORD flags)
{
    if (fileName == nullptr) {
        return nullptr;
    }
    const bool create = (flags & MMIO_CREATE) != 0;
    const bool writable = (flags & (MMIO_WRITE | MMIO_READWRITE)) != 0;
    // A writer reads back what it wrote (chunk sizes are settled in place), so it opens
    // for reading too.
    int openFlags = O_CLOEXEC | (writable ? O_RDWR : O_RDONLY);
    if (create) {
        openFlags |= O_CREAT | O_TRUNC;
    }
    auto file = std::unique_ptr<MmioFile>(new (std::nothrow) MmioFile);
    if (!file) {
        return nullptr;
    }
    file->buffer.reset(new (std::nothrow) char[kMmioBufferBytes]);
    if (!file->buffer) {
        return nullptr;
    }
    file->fd = open(fileName, openFlags, 0666);
    if (file->fd < 0) {
        if (info != nullptr) {
            info->wErrorRet = errno == ENOENT ? MMIOERR_FILENOTFOUND : MMIOERR_CANNOTOPEN;
        }
        return nullptr;
    }
    struct stat status {};
    // A directory opens for reading on POSIX but holds no file bytes.
    if (fstat(file->fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(file->fd);
        if (info != nullptr) {
            info->wErrorRet = MMIOERR_CANNOTOPEN;
        }
        return nullptr;
    }
    file->writable = writable;
    file->fileSize = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
    const std::lock_guard<std::mutex> guard(openHandlesLock);
    openHandles.insert(file.get());
    return file.release();
}

MMRESULT mmioClose(HMMIO handle, UINT /*flags*/)
{
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    {
        const std::lock_guard<std::mutex> guard(openHandlesLock);
        openHandles.erase(handle);
    }
    MMRESULT result = handle->flush();
    if (close(handle->fd) != 0 && handle->writable && result == MMSYSERR_NOERROR) {
        result = MMIOERR_CANNOTWRITE;  // some file systems report a lost write only here
    }
    delete handle;
    return result;
}

LONG mmioRead(HMMIO handle, HPSTR buffer, LONG count)
{
    if (!isOpen(handle) || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    return handle->read(buffer, count);
}

LONG mmioWrite(HMMIO handle, const char* buffer, LONG count)
{
    if (!isOpen(handle) || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    return handle->write(buffer, count);
}

LONG mmioSeek(HMMIO handle, LONG offset, int origin)
{
    if (!isOpen(handle)) {
        return -1;
    }
    std::int64_t from = 0;
    switch (origin) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        from = static_cast<std::int64_t>(handle->position());
        break;
    case SEEK_END:
        from = static_cast<std::int64_t>(handle->logicalSize());
        break;
    default:
        return -1;
    }
    const std::int64_t target = from + offset;
    if (target < 0 || target > std::numeric_limits<LONG>::max()) {
        return -1;
    }
    if (handle->moveTo(static_cast<std::uint64_t>(target)) != MMSYSERR_NOERROR) {
        return -1;
    }
    return static_cast<LONG>(target);
}

MMRESULT mmioGetInfo(HMMIO handle, MMIOINFO* info, UINT /*flags*/)
{
    if (const MMRESULT result = checkRecordCall(handle, info); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (const MMRESULT result = handle->prepare(); result != MMSYSERR_NOERROR) {
        return result;
    }
    *info = MMIOINFO{};
    handle->describe(info);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioSetInfo(HMMIO handle, const MMIOINFO* info, UINT /*flags*/)
{
    if (const MMRESULT result = checkRecordCall(handle, info); result != MMSYSERR_NOERROR) {
        return result;
    }
    const bool writing = (info->dwFlags & MMIO_DIRTY) != 0;
    if (writing && !handle->writable) {
        return MMIOERR_CANNOTWRITE;
    }
    if (!handle->accept(*info)) {
        // A writer past the largest file size, or a state of some other buffer.
        return writing && info->pchBuffer == handle->buffer.get() ? MMIOERR_CANNOTEXPAND : MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mmioAdvance(HMMIO handle, MMIOINFO* info, UINT flags)
{
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (info != nullptr && !handle->accept(*info)) {
        return MMSYSERR_INVALPARAM;
    }
    const bool writing = (flags & MMIO_WRITE) != 0;
    if (writing && !handle->writable) {
        return MMIOERR_CANNOTWRITE;
    }
    if (const MMRESULT result = handle->flush(); result != MMSYSERR_NOERROR) {
        return result;
    }
    const std::uint64_t position = handle->position();
    if (writing && position >= maximumFileSize.load(std::memory_order_relaxed)) {
        // The flushed bytes stay; no room for another byte of a RIFF file.
        if (info != nullptr) {
            handle->describe(info);
        }
        return MMIOERR_CANNOTEXPAND;
    }
    handle->base = position;
    handle->next = 0;
    handle->valid = 0;
    handle->loaded = false;
    if (const MMRESULT result = handle->load(); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (info != nullptr) {
        handle->describe(info);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mmioDescend(HMMIO handle, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags)
{
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (chunk == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    MmioFile& file = *handle;
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
    if (const MMRESULT result = checkRecordCall(handle, chunk); result != MMSYSERR_NOERROR) {
        return result;
    }
    MmioFile& file = *handle;
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
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (chunk == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    MmioFile& file = *handle;
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

MMRESULT mmioGetFileSize(HMMIO handle, std::uint64_t* size)
{
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (size == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *size = handle->logicalSize();
    return MMSYSERR_NOERROR;
}

MMRESULT mmioSeekTo(HMMIO handle, std::uint64_t position)
{
    if (!isOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    return handle->moveTo(position);
}
