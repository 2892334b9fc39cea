// Appending the bytes of another file without passing them through user space: the
// samples of a dump already in the WAVE file's form are copied as cat copies them.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/mmio.h"
#include "platform/mmio_file.h"

namespace {

// One call's share, so that a signal is seen between calls of a long copy.
constexpr std::uint64_t kLargestStep = std::uint64_t{1} << 30;
// The file takes the kernel's copy in pieces that end on multiples of this. A WAVE
// file's samples start inside a page (byte 56, say), and a write that starts there makes
// ext4 cache the file in small pieces: copy_file_range, whose own pipe hands the file
// 64 KiB at the dump's page boundaries, ran at 1.4 times cat for that alone.
constexpr std::size_t kAlignedStep = 256 * 1024;
// The plain path's piece when the kernel cannot copy (a file system or a descriptor
// that cannot splice): the I/O buffer's whole capacity, a multiple of kAlignedStep.
constexpr std::size_t kPlainStep = 256 * 1024;
static_assert(kPlainStep % kAlignedStep == 0);

enum class Step { kMoved, kEnd, kNotInKernel, kReadFailed, kWriteFailed };

// A pipe of the copy's own: the dump's pages go into it by reference and the file takes
// them from it, so that the bytes are copied once, inside the kernel.
class SplicePipe {
public:
    SplicePipe()
    {
        if (pipe2(ends_, O_CLOEXEC) != 0) {
            ends_[0] = ends_[1] = -1;
            return;
        }
        // Room for one aligned piece whatever the dump's page boundaries; without it the
        // pieces are smaller, not wrong.
        fcntl(ends_[1], F_SETPIPE_SZ, static_cast<int>(2 * kAlignedStep));
    }
    ~SplicePipe()
    {
        for (const int end : ends_) {
            if (end >= 0) {
                close(end);
            }
        }
    }
    SplicePipe(const SplicePipe&) = delete;
    SplicePipe& operator=(const SplicePipe&) = delete;

    bool open() const { return ends_[0] >= 0; }
    int readEnd() const { return ends_[0]; }
    int writeEnd() const { return ends_[1]; }

private:
    int ends_[2] = {-1, -1};
};

ssize_t spliceRetrying(int from, int to, off_t* toOffset, std::size_t count)
{
    ssize_t done = 0;
    do {
        done = splice(from, nullptr, to, toOffset, count, 0);
    } while (done < 0 && errno == EINTR);
    return done;
}

// Writes the buffer's first `count` bytes at the file's `position` with the buffer's own
// writes (a stream's wait for its reader); false when the file fails.
bool writeBufferAt(MmioFile& file, std::uint64_t position, std::size_t count)
{
    file.base = position;
    file.next = file.valid = count;
    file.dirty = true;
    return file.flush() == MMSYSERR_NOERROR;
}

// Bytes the file refused to take from the pipe go through the buffer instead: they have
// left the dump and exist nowhere else.
Step drainThroughBuffer(const SplicePipe& pipe, MmioFile& file, std::uint64_t position, std::size_t pending,
                        std::size_t* moved)
{
    while (pending > 0) {
        ssize_t got = 0;
        do {
            got = read(pipe.readEnd(), file.buffer.get(), std::min(pending, kPlainStep));
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            return Step::kWriteFailed;  // the pipe holds them: only a broken system says otherwise
        }
        const auto count = static_cast<std::size_t>(got);
        if (!writeBufferAt(file, position + *moved, count)) {
            return Step::kWriteFailed;
        }
        *moved += count;
        pending -= count;
    }
    return Step::kMoved;
}

Step copyInKernel(int source, const SplicePipe& pipe, MmioFile& file, std::uint64_t position, std::size_t want,
                  std::size_t* moved)
{
    // Up to the next aligned offset of the file, so every piece after the first is aligned.
    want = std::min<std::size_t>(want, kAlignedStep - position % kAlignedStep);
    const ssize_t taken = spliceRetrying(source, pipe.writeEnd(), nullptr, want);
    if (taken == 0) {
        return Step::kEnd;
    }
    if (taken < 0) {
        // Refused, or failed: nothing left the dump, and the plain path copies or tells.
        return Step::kNotInKernel;
    }
    auto pending = static_cast<std::size_t>(taken);
    *moved = 0;
    while (pending > 0) {
        auto offset = static_cast<off_t>(position + *moved);
        const ssize_t put = spliceRetrying(pipe.readEnd(), file.fd, &offset, pending);
        if (put <= 0) {
            return drainThroughBuffer(pipe, file, position, pending, moved);
        }
        *moved += static_cast<std::size_t>(put);
        pending -= static_cast<std::size_t>(put);
    }
    return Step::kMoved;
}

// Through the buffer, written as the buffer always is (a stream with write(2)), in
// pieces aligned as the kernel's are.
Step copyThroughBuffer(int source, MmioFile& file, std::uint64_t position, std::size_t want, std::size_t* moved)
{
    want = std::min(want, kPlainStep - position % kPlainStep);
    ssize_t got = 0;
    do {
        got = read(source, file.buffer.get(), want);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return Step::kReadFailed;
    }
    if (got == 0) {
        return Step::kEnd;
    }
    if (!writeBufferAt(file, position, static_cast<std::size_t>(got))) {
        return Step::kWriteFailed;
    }
    *moved = static_cast<std::size_t>(got);
    return Step::kMoved;
}

}  // namespace

MMRESULT mmioAppendFromDescriptor(HMMIO handle, MMIOINFO* info, int source, std::uint64_t count,
                                  std::uint64_t* copied)
{
    MmioFile* file = nullptr;
    if (const MMRESULT result = checkRecordCall(handle, info, &file); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (copied == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *copied = 0;
    if (!file->writable) {
        return MMIOERR_CANNOTWRITE;
    }
    if (!file->accept(*info)) {
        return MMSYSERR_INVALPARAM;
    }
    if (const MMRESULT result = file->flush(); result != MMSYSERR_NOERROR) {
        return result;
    }
    std::uint64_t position = file->position();
    MMRESULT result = MMSYSERR_NOERROR;
    // A stream takes its bytes through the buffer's writes, which wait for its reader.
    const SplicePipe pipe;
    bool inKernel = !file->stream && pipe.open();
    while (*copied < count) {
        if (position >= file->ceiling()) {
            result = MMIOERR_CANNOTEXPAND;
            break;
        }
        const auto want =
            static_cast<std::size_t>(std::min({count - *copied, file->ceiling() - position, kLargestStep}));
        std::size_t moved = 0;
        Step step = inKernel ? copyInKernel(source, pipe, *file, position, want, &moved) : Step::kNotInKernel;
        if (step == Step::kNotInKernel) {
            inKernel = false;
            step = copyThroughBuffer(source, *file, position, want, &moved);
        }
        // What reached the file stays appended, even when the step failed after it.
        position += moved;
        *copied += moved;
        file->fileSize = std::max(file->fileSize, position);
        if (step == Step::kEnd) {
            break;
        }
        if (step == Step::kReadFailed) {
            result = MMIOERR_CANNOTREAD;
            break;
        }
        if (step == Step::kWriteFailed) {
            file->writeError = MMIOERR_CANNOTWRITE;
            result = file->writeError;
            break;
        }
    }
    // The buffer starts afresh after the appended bytes; nothing is left in it to write.
    file->base = position;
    file->next = 0;
    file->valid = 0;
    file->loaded = true;
    file->dirty = false;
    file->describe(info);
    return result;
}
