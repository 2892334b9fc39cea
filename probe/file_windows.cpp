#include "probe/file_windows.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "probe/sample_layouts.h"

namespace pcmwrap::probe {
namespace {

class Descriptor {
public:
    explicit Descriptor(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Fills the buffer from the offset on; false with errno set on a read error. A file that
// ends early (it shrank while read) leaves the buffer cut to what was there.
bool readAt(int fd, std::vector<std::byte>& buffer, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    buffer.resize(done);
    return true;
}

}  // namespace

FileWindows::FileWindows(const std::filesystem::path& path, std::uint64_t budget)
{
    const Descriptor file(path);
    if (file.get() < 0) {
        error_ = std::strerror(errno);
        return;
    }
    read(file.get(), budget);
}

FileWindows FileWindows::standardInput(std::uint64_t budget)
{
    FileWindows windows;
    if (::isatty(STDIN_FILENO) == 1) {
        // It would wait for a person to type samples.
        windows.error_ = "standard input is a terminal";
        return windows;
    }
    windows.read(STDIN_FILENO, budget);
    return windows;
}

void FileWindows::read(int fd, std::uint64_t budget)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error_ = std::strerror(errno);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        error_ = std::strerror(EISDIR);
        return;
    }
    // Standard input may be a file read partly already: its dump starts where it stands.
    const off_t position = S_ISREG(status.st_mode) ? ::lseek(fd, 0, SEEK_CUR) : 0;
    if (!S_ISREG(status.st_mode) || position < 0) {
        // A pipe or a device has no length to spread windows over: read its start.
        std::vector<std::byte> head(static_cast<std::size_t>(budget));
        std::size_t done = 0;
        while (done < head.size()) {
            const ssize_t got = ::read(fd, head.data() + done, head.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                error_ = std::strerror(errno);
                return;
            }
            if (got == 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        head.resize(done);
        fileSize_ = done;
        // A stream that filled the budget may go on: its length is not known.
        sizeKnown_ = done < budget;
        windows_.push_back(std::move(head));
        offsets_.push_back(0);
        return;
    }
    const auto start = static_cast<std::uint64_t>(position);
    fileSize_ = static_cast<std::uint64_t>(std::max<off_t>(status.st_size - position, 0));
    std::vector<std::pair<std::uint64_t, std::size_t>> plan;  // offset, length
    if (fileSize_ <= budget) {
        plan.emplace_back(0, static_cast<std::size_t>(fileSize_));
    } else {
        const std::uint64_t length = budget / kWindowCount / kFrameAlignment * kFrameAlignment;
        const std::uint64_t lastStart = (fileSize_ - length) / kFrameAlignment;  // in alignment units
        for (std::size_t i = 0; i < kWindowCount; ++i) {
            const std::uint64_t start = lastStart * i / (kWindowCount - 1) * kFrameAlignment;
            plan.emplace_back(start, static_cast<std::size_t>(length));
        }
    }
    for (const auto& [offset, length] : plan) {
        std::vector<std::byte> window(length);
        if (!readAt(fd, window, start + offset)) {
            error_ = std::strerror(errno);
            windows_.clear();
            offsets_.clear();
            return;
        }
        windows_.push_back(std::move(window));
        offsets_.push_back(offset);
    }
}

std::vector<std::span<const std::byte>> FileWindows::windows() const
{
    return {windows_.begin(), windows_.end()};
}

}  // namespace pcmwrap::probe
