// Appending the bytes of another file without passing them through user space: the
// samples of a dump already in the WAVE file's form are copied as cat copies them.

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/mmio.h"
#include "platform/mmio_file.h"

namespace {

// One call's share, so that a signal is seen between calls of a long copy.
constexpr std::uint64_t kLargestStep = std::uint64_t{1} << 30;
// The plain path's piece when the kernel cannot copy (another file system, a kernel
// without copy_file_range): the I/O buffer's whole capacity.
constexpr std::size_t kPlainStep = 256 * 1024;

enum class Step { kMoved, kEnd, kNotInKernel, kReadFailed, kWriteFailed };

Step copyInKernel(int source, int target, std::uint64_t position, std::size_t want, std::size_t* moved)
{
    for (;;) {
        auto offset = static_cast<off_t>(position);
        const ssize_t done = copy_file_range(source, nullptr, target, &offset, want, 0);
        if (done > 0) {
            *moved = static_cast<std::size_t>(done);
            return Step::kMoved;
        }
        if (done == 0) {
            return Step::kEnd;
        }
        if (errno != EINTR) {
            // Refused, or failed on one side: the plain path copies or tells which side failed.
            return Step::kNotInKernel;
        }
    }
}

Step copyThroughBuffer(int source, MmioFile& file, std::uint64_t position, std::size_t want, std::size_t* moved)
{
    want = std::min(want, kPlainStep);
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
    std::size_t put = 0;
    while (put < static_cast<std::size_t>(got)) {
        const ssize_t done = pwrite(file.fd, file.buffer.get() + put, static_cast<std::size_t>(got) - put,
                                    static_cast<off_t>(position + put));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return Step::kWriteFailed;
        }
        put += static_cast<std::size_t>(done);
    }
    *moved = put;
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
    bool inKernel = true;
    while (*copied < count) {
        if (position >= file->ceiling()) {
            result = MMIOERR_CANNOTEXPAND;
            break;
        }
        const auto want =
            static_cast<std::size_t>(std::min({count - *copied, file->ceiling() - position, kLargestStep}));
        std::size_t moved = 0;
        Step step = inKernel ? copyInKernel(source, file->fd, position, want, &moved) : Step::kNotInKernel;
        if (step == Step::kNotInKernel) {
            inKernel = false;
            step = copyThroughBuffer(source, *file, position, want, &moved);
        }
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
        position += moved;
        *copied += moved;
        file->fileSize = std::max(file->fileSize, position);
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
