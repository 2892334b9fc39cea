// The RIFF file I/O stand-in's buffered file engine over POSIX pread/pwrite: opening and
// closing, transfers and seeks, and the hand-over of the I/O buffer to a caller that
// reads or fills it directly. The chunk walk on top of it is in mmio_chunks.cpp.

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
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
#include <unordered_map>

#include "platform/mmio.h"
#include "platform/mmio_file.h"
#include "platform/mmio_testing.h"

namespace {

// Large enough that the file sees few, big transfers.
constexpr std::size_t kMmioBufferBytes = 256 * 1024;

std::atomic<std::uint64_t> maximumFileSize{kMmioMaximumFileSize};

// Positions reach the system as off_t: a large file ends where they do.
static_assert(sizeof(off_t) == sizeof(std::uint64_t), "file offsets are 64 bits wide");
static_assert(kMmioMaximumLargeFileSize == static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()));

// Every open file by its handle, so that a null, stray or closed handle is refused
// instead of used. A handle is a number never issued before in this process, not the
// file's address: a closed handle stays refused when its memory serves a newer file.
std::mutex openFilesLock;
std::unordered_map<HMMIO, std::unique_ptr<MmioFile>> openFiles;
std::uintptr_t handlesIssued = 0;

// Why a file could not be opened. To create, a name that exists as something other than
// a regular file: a directory, or a socket or device that cannot be opened at all.
MMRESULT openFailure(int error, bool create)
{
    if (error == ENOENT) {
        return MMIOERR_FILENOTFOUND;
    }
    if (create && (error == EISDIR || error == ENXIO || error == ENODEV)) {
        return MMIOERR_INVALIDFILE;
    }
    return MMIOERR_CANNOTOPEN;
}

// How many of `wanted` bytes a stream's write may take now: all of them until the wake
// descriptor is readable (the program was asked to stop); then pieces a pipe takes without
// blocking while its reader takes bytes, and 0 once it takes none.
std::size_t streamRoom(int fd, int wakeDescriptor, std::size_t wanted)
{
    if (wakeDescriptor < 0) {
        return wanted;
    }
    for (;;) {
        pollfd waits[] = {{fd, POLLOUT, 0}, {wakeDescriptor, POLLIN, 0}};
        if (poll(waits, std::size(waits), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return wanted;  // the write itself will tell
        }
        const bool stopping = waits[1].revents != 0;
        if (waits[0].revents != 0) {
            return stopping ? std::min<std::size_t>(wanted, PIPE_BUF) : wanted;
        }
        if (stopping) {
            return 0;
        }
    }
}

// Issues the handle of a file just opened; null, with the file closed, when it cannot be kept.
HMMIO keepOpenFile(std::unique_ptr<MmioFile> file)
{
    const int fd = file->fd;
    try {
        const std::lock_guard<std::mutex> guard(openFilesLock);
        file->handle = reinterpret_cast<HMMIO>(++handlesIssued);
        const HMMIO handle = file->handle;
        openFiles.emplace(handle, std::move(file));
        return handle;
    } catch (const std::bad_alloc&) {
        close(fd);  // the record could not be kept: the file was never handed out
        return nullptr;
    }
}

}  // namespace

std::uint64_t MmioFile::logicalSize() const
{
    return std::max(fileSize, dirty ? base + valid : 0);
}

std::uint64_t MmioFile::ceiling() const
{
    return largeFile ? kMmioMaximumLargeFileSize : maximumFileSize.load(std::memory_order_relaxed);
}

// How far the buffer may be filled by a writer: its capacity, cut at the largest size the
// file may reach.
std::size_t MmioFile::writeLimit() const
{
    const std::uint64_t limit = ceiling();
    if (!writable || base >= limit) {
        return 0;
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(kMmioBufferBytes, limit - base));
}

MMRESULT MmioFile::flush()
{
    if (writeError != MMSYSERR_NOERROR) {
        return writeError;
    }
    if (!dirty) {
        return MMSYSERR_NOERROR;
    }
    if (stream && base != fileSize) {
        writeError = MMIOERR_CANNOTSEEK;  // bytes before the stream's end are gone
        return writeError;
    }
    std::size_t done = 0;
    while (done < valid) {
        const std::size_t room = stream ? streamRoom(fd, wakeDescriptor, valid - done) : valid - done;
        if (room == 0) {
            writeError = MMIOERR_CANNOTWRITE;
            return writeError;
        }
        const ssize_t put = stream ? ::write(fd, buffer.get() + done, room)
                                   : pwrite(fd, buffer.get() + done, valid - done, static_cast<off_t>(base + done));
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
MMRESULT MmioFile::load()
{
    if (loaded) {
        return MMSYSERR_NOERROR;
    }
    valid = 0;
    // Past the end of the file there is nothing to read: a file being written costs no
    // read at all.
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

// Writes out the buffer and starts an empty one, not yet loaded, at offset.
MMRESULT MmioFile::startBufferAt(std::uint64_t offset)
{
    if (const MMRESULT result = flush(); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (stream && offset != fileSize) {
        return MMIOERR_CANNOTSEEK;
    }
    base = offset;
    next = 0;
    valid = 0;
    loaded = false;
    return MMSYSERR_NOERROR;
}

MMRESULT MmioFile::moveTo(std::uint64_t target)
{
    if (loaded && target >= base && target <= base + valid) {
        next = static_cast<std::size_t>(target - base);
        return MMSYSERR_NOERROR;
    }
    return startBufferAt(target);
}

// Makes the buffer hold the current position with room or content after it.
MMRESULT MmioFile::prepare()
{
    if (loaded && next == kMmioBufferBytes) {
        if (const MMRESULT result = startBufferAt(position()); result != MMSYSERR_NOERROR) {
            return result;
        }
    }
    return load();
}

LONG MmioFile::read(char* destination, LONG count)
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

LONG MmioFile::write(const char* source, LONG count)
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

bool MmioFile::writeAll(const void* source, std::size_t count)
{
    return write(static_cast<const char*>(source), static_cast<LONG>(count)) == static_cast<LONG>(count);
}

bool MmioFile::readAll(void* destination, std::size_t count)
{
    return read(static_cast<char*>(destination), static_cast<LONG>(count)) == static_cast<LONG>(count);
}

void MmioFile::describe(MMIOINFO* info) const
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
    info->hmmio = handle;
}

// Takes back a buffer state that the caller drove; false when it does not describe this
// handle's buffer or reaches past what may be written.
bool MmioFile::accept(const MMIOINFO& info)
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

MmioFile* findOpenFile(HMMIO handle)
{
    const std::lock_guard<std::mutex> guard(openFilesLock);
    const auto found = openFiles.find(handle);
    return found == openFiles.end() ? nullptr : found->second.get();
}

MMRESULT findRecordCall(HMMIO handle, const void* record, MmioFile** file)
{
    *file = findOpenFile(handle);
    if (*file == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    return record == nullptr ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

MMRESULT checkRecordCall(HMMIO handle, const void* record, MmioFile** file)
{
    if (const MMRESULT result = findRecordCall(handle, record, file); result != MMSYSERR_NOERROR) {
        return result;
    }
    return (*file)->writeError;
}

void mmioSetMaximumFileSizeForTesting(std::uint64_t bytes)
{
    maximumFileSize.store(bytes, std::memory_order_relaxed);
}

std::uint64_t mmioGetMaximumRiffFileSize()
{
    return maximumFileSize.load(std::memory_order_relaxed);
}

MMRESULT mmioAllowLargeFile(HMMIO handle)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!file->writable) {
        return MMIOERR_CANNOTWRITE;
    }
    file->largeFile = true;
    return MMSYSERR_NOERROR;
}

namespace {

// A file record with its I/O buffer, or null when memory is short.
std::unique_ptr<MmioFile> newMmioFile()
{
    auto file = std::unique_ptr<MmioFile>(new (std::nothrow) MmioFile);
    if (file) {
        file->buffer.reset(new (std::nothrow) char[kMmioBufferBytes]);
    }
    return file && file->buffer ? std::move(file) : nullptr;
}

}  // namespace

HMMIO mmioOpenA(const char* fileName, MMIOINFO* info, DWORD flags)
{
    if (fileName == nullptr) {
        return nullptr;
    }
    const bool create = (flags & MMIO_CREATE) != 0;
    const bool writable = (flags & (MMIO_WRITE | MMIO_READWRITE)) != 0;
    // A writer reads back what it wrote (chunk sizes are settled in place), so it opens
    // for reading too. A file to create is opened without blocking and emptied only once
    // the descriptor shows a regular file: opening a FIFO or a device must neither wait
    // nor change it, and a name swapped for another file after a check by name cannot
    // slip through.
    int openFlags = O_CLOEXEC | (writable ? O_RDWR : O_RDONLY);
    if (create) {
        openFlags |= O_CREAT | O_NONBLOCK;
    }
    std::unique_ptr<MmioFile> file = newMmioFile();
    if (!file) {
        return nullptr;
    }
    file->fd = open(fileName, openFlags, 0666);
    if (file->fd < 0) {
        if (info != nullptr) {
            info->wErrorRet = openFailure(errno, create);
        }
        return nullptr;
    }
    struct stat status {};
    MMRESULT refusal = MMSYSERR_NOERROR;
    if (fstat(file->fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        refusal = MMIOERR_CANNOTOPEN;  // a directory opens for reading on POSIX but holds no file bytes
    } else if (create && !S_ISREG(status.st_mode)) {
        refusal = MMIOERR_INVALIDFILE;
    } else if (create && ((status.st_size != 0 && ftruncate(file->fd, 0) != 0) || fcntl(file->fd, F_SETFL, 0) != 0)) {
        // Only a file that holds bytes is emptied: ext4 takes a truncation to zero as a
        // rewrite and writes the whole new file back when it is closed, which halves the
        // speed of a conversion into a new file.
        refusal = MMIOERR_CANNOTOPEN;
    }
    if (refusal != MMSYSERR_NOERROR) {
        close(file->fd);
        if (info != nullptr) {
            info->wErrorRet = refusal;
        }
        return nullptr;
    }
    if (create) {
        status.st_size = 0;
    }
    file->writable = writable;
    file->fileSize = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;
    return keepOpenFile(std::move(file));
}

HMMIO mmioDuplicate(HMMIO handle)
{
    const MmioFile* const original = findOpenFile(handle);
    if (original == nullptr) {
        return nullptr;
    }
    std::unique_ptr<MmioFile> file = newMmioFile();
    if (!file) {
        return nullptr;
    }
    file->fd = fcntl(original->fd, F_DUPFD_CLOEXEC, 0);
    if (file->fd < 0) {
        return nullptr;
    }
    file->writable = original->writable;
    file->largeFile = original->largeFile;
    // The length the file has on disk now.
    struct stat status {};
    const bool regular = fstat(file->fd, &status) == 0 && S_ISREG(status.st_mode);
    file->fileSize = regular ? static_cast<std::uint64_t>(status.st_size) : 0;
    return keepOpenFile(std::move(file));
}

HMMIO mmioOpenDescriptor(int descriptor, MMIOINFO* info)
{
    std::unique_ptr<MmioFile> file = newMmioFile();
    if (!file) {
        return nullptr;
    }
    struct stat status {};
    const int accessMode = fcntl(descriptor, F_GETFL);
    if (accessMode == -1 || fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode) ||
        (accessMode & O_ACCMODE) == O_RDONLY) {
        if (info != nullptr) {
            info->wErrorRet = MMIOERR_CANNOTOPEN;
        }
        return nullptr;
    }
    file->fd = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (file->fd < 0) {
        if (info != nullptr) {
            info->wErrorRet = MMIOERR_CANNOTOPEN;
        }
        return nullptr;
    }
    file->writable = true;
    // Only a regular file that the descriptor writes from its start can take sizes settled
    // in place; one opened to append (>>), or standing past its start, is written as a
    // stream too, and so is everything that is not a regular file.
    file->stream = !S_ISREG(status.st_mode) || (accessMode & O_APPEND) != 0 || lseek(file->fd, 0, SEEK_CUR) != 0;
    // A pipe that holds a whole buffer takes it in one write: the reader at its other end
    // and this writer wake a quarter as often. Where the system refuses, the pipe stays.
    if (S_ISFIFO(status.st_mode)) {
        fcntl(file->fd, F_SETPIPE_SZ, static_cast<int>(kMmioBufferBytes));
    }
    if (!file->stream && status.st_size > 0 && ftruncate(file->fd, 0) != 0) {
        close(file->fd);
        if (info != nullptr) {
            info->wErrorRet = MMIOERR_CANNOTOPEN;
        }
        return nullptr;
    }
    return keepOpenFile(std::move(file));
}

MMRESULT mmioClose(HMMIO handle, UINT /*flags*/)
{
    std::unique_ptr<MmioFile> file;
    {
        // Found and taken out under one lock, so that of two threads closing one handle
        // only one gets the file.
        const std::lock_guard<std::mutex> guard(openFilesLock);
        auto taken = openFiles.extract(handle);
        if (taken.empty()) {
            return MMSYSERR_INVALHANDLE;
        }
        file = std::move(taken.mapped());
    }
    MMRESULT result = file->flush();
    if (close(file->fd) != 0 && file->writable && result == MMSYSERR_NOERROR) {
        result = MMIOERR_CANNOTWRITE;  // some file systems report a lost write only here
    }
    return result;
}

LONG mmioRead(HMMIO handle, HPSTR buffer, LONG count)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    return file->read(buffer, count);
}

LONG mmioWrite(HMMIO handle, const char* buffer, LONG count)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr || count < 0 || (buffer == nullptr && count > 0)) {
        return -1;
    }
    return file->write(buffer, count);
}

LONG mmioSeek(HMMIO handle, LONG offset, int origin)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr) {
        return -1;
    }
    std::int64_t from = 0;
    switch (origin) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        from = static_cast<std::int64_t>(file->position());
        break;
    case SEEK_END:
        from = static_cast<std::int64_t>(file->logicalSize());
        break;
    default:
        return -1;
    }
    const std::int64_t target = from + offset;
    if (target < 0 || target > std::numeric_limits<LONG>::max()) {
        return -1;
    }
    if (file->moveTo(static_cast<std::uint64_t>(target)) != MMSYSERR_NOERROR) {
        return -1;
    }
    return static_cast<LONG>(target);
}

MMRESULT mmioGetInfo(HMMIO handle, MMIOINFO* info, UINT /*flags*/)
{
    MmioFile* file = nullptr;
    if (const MMRESULT result = checkRecordCall(handle, info, &file); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (const MMRESULT result = file->prepare(); result != MMSYSERR_NOERROR) {
        return result;
    }
    *info = MMIOINFO{};
    file->describe(info);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioSetInfo(HMMIO handle, const MMIOINFO* info, UINT /*flags*/)
{
    MmioFile* file = nullptr;
    if (const MMRESULT result = checkRecordCall(handle, info, &file); result != MMSYSERR_NOERROR) {
        return result;
    }
    const bool writing = (info->dwFlags & MMIO_DIRTY) != 0;
    if (writing && !file->writable) {
        return MMIOERR_CANNOTWRITE;
    }
    if (!file->accept(*info)) {
        // A writer past the largest file size, or a state of some other buffer.
        return writing && info->pchBuffer == file->buffer.get() ? MMIOERR_CANNOTEXPAND : MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mmioAdvance(HMMIO handle, MMIOINFO* info, UINT flags)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    // Refused before the state is taken back: a reader has no bytes to write, and the
    // failed write would be kept and reported by every later call on the handle.
    const bool writing = (flags & MMIO_WRITE) != 0 || (info != nullptr && (info->dwFlags & MMIO_DIRTY) != 0);
    if (writing && !file->writable) {
        return MMIOERR_CANNOTWRITE;
    }
    if (info != nullptr && !file->accept(*info)) {
        return MMSYSERR_INVALPARAM;
    }
    if (const MMRESULT result = file->flush(); result != MMSYSERR_NOERROR) {
        return result;
    }
    const std::uint64_t position = file->position();
    if ((flags & MMIO_WRITE) != 0 && position >= file->ceiling()) {
        // The flushed bytes stay; no room for another byte of the file.
        if (info != nullptr) {
            file->describe(info);
        }
        return MMIOERR_CANNOTEXPAND;
    }
    if (const MMRESULT result = file->startBufferAt(position); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (const MMRESULT result = file->load(); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (info != nullptr) {
        file->describe(info);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT mmioGetFileSize(HMMIO handle, std::uint64_t* size)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (size == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *size = file->logicalSize();
    return MMSYSERR_NOERROR;
}

MMRESULT mmioSeekTo(HMMIO handle, std::uint64_t position)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    return file->moveTo(position);
}

bool mmioIsStream(HMMIO handle)
{
    const MmioFile* const file = findOpenFile(handle);
    return file != nullptr && file->stream;
}

MMRESULT mmioSetStreamWake(HMMIO handle, int descriptor)
{
    MmioFile* const file = findOpenFile(handle);
    if (file == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    file->wakeDescriptor = file->stream ? descriptor : -1;
    return MMSYSERR_NOERROR;
}
