// The three origins of a WAVE file's bytes: a descriptor (from a path or the caller's),
// read with pread where it can seek and with poll and read where it cannot, and memory.

#include "wavfile/byte_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace pcmwrap::source {

namespace {

constexpr std::size_t kDropBytes = 64 * 1024;

class DescriptorSource : public ByteSource {
public:
    DescriptorSource(int descriptor, bool seekable, std::uint64_t start, std::uint64_t length)
        : descriptor_(descriptor), seekable_(seekable), start_(start), length_(length)
    {
    }
    ~DescriptorSource() override { close(descriptor_); }
    DescriptorSource(const DescriptorSource&) = delete;
    DescriptorSource& operator=(const DescriptorSource&) = delete;

    bool canSeek() const noexcept override { return seekable_; }
    std::optional<std::uint64_t> size() const noexcept override
    {
        return seekable_ ? std::optional<std::uint64_t>(length_) : std::nullopt;
    }
    std::uint64_t position() const noexcept override { return position_; }

    std::ptrdiff_t read(void* destination, std::size_t count) override
    {
        if (count == 0) {
            return 0;
        }
        for (;;) {
            ssize_t got = 0;
            if (seekable_) {
                got = pread(descriptor_, destination, count, static_cast<off_t>(start_ + position_));
            } else {
                // Waits in poll, never in a read or an open: a FIFO without a writer yet
                // reads as ended at once, and a signal must be able to end the wait.
                pollfd input{descriptor_, POLLIN, 0};
                if (poll(&input, 1, -1) < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return -1;
                }
                got = ::read(descriptor_, destination, count);
            }
            if (got >= 0) {
                position_ += static_cast<std::uint64_t>(got);
                return got;
            }
            if (errno != EINTR && errno != EAGAIN) {
                return -1;
            }
        }
    }

    bool moveTo(std::uint64_t offset) override
    {
        if (seekable_) {
            position_ = offset;
            return true;
        }
        std::array<unsigned char, kDropBytes> dropped;
        while (position_ < offset) {
            const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(offset - position_, dropped.size()));
            if (read(dropped.data(), piece) <= 0) {
                return false;
            }
        }
        return position_ == offset;
    }

private:
    int descriptor_;
    bool seekable_;
    std::uint64_t start_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::byte> image) : image_(image) {}

    bool canSeek() const noexcept override { return true; }
    std::optional<std::uint64_t> size() const noexcept override { return image_.size(); }
    std::uint64_t position() const noexcept override { return position_; }

    std::ptrdiff_t read(void* destination, std::size_t count) override
    {
        const std::size_t held = position_ < image_.size() ? image_.size() - static_cast<std::size_t>(position_) : 0;
        const std::size_t taken = std::min(count, held);
        if (taken > 0) {
            std::memcpy(destination, image_.data() + position_, taken);
        }
        position_ += taken;
        return static_cast<std::ptrdiff_t>(taken);
    }

    bool moveTo(std::uint64_t offset) override
    {
        position_ = offset;
        return true;
    }

private:
    std::span<const std::byte> image_;
    std::uint64_t position_ = 0;
};

// A descriptor of the source's own: a regular file seeks from where it stood, everything
// else but a directory is a stream.
std::unique_ptr<ByteSource> sourceOn(int descriptor)
{
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        const int error = errno;
        close(descriptor);
        errno = error;
        return nullptr;
    }
    if (S_ISDIR(status.st_mode)) {
        close(descriptor);
        errno = EISDIR;
        return nullptr;
    }
    if (S_ISREG(status.st_mode)) {
        const off_t start = lseek(descriptor, 0, SEEK_CUR);
        const auto length = static_cast<std::uint64_t>(status.st_size);
        const std::uint64_t from = start < 0 ? 0 : std::min<std::uint64_t>(static_cast<std::uint64_t>(start), length);
        return std::make_unique<DescriptorSource>(descriptor, true, from, length - from);
    }
    return std::make_unique<DescriptorSource>(descriptor, false, 0, 0);
}

}  // namespace

bool ByteSource::readExactly(void* destination, std::size_t count)
{
    auto* to = static_cast<unsigned char*>(destination);
    while (count > 0) {
        const std::ptrdiff_t got = read(to, count);
        if (got <= 0) {
            return false;
        }
        to += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

std::unique_ptr<ByteSource> openPath(const std::filesystem::path& path)
{
    // Without blocking: a FIFO's open would wait for a writer where no signal ends it.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) &&
        !S_ISCHR(status.st_mode)) {
        close(descriptor);
        errno = S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
        return nullptr;
    }
    return sourceOn(descriptor);
}

std::unique_ptr<ByteSource> openDescriptor(int descriptor)
{
    const int own = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        return nullptr;
    }
    return sourceOn(own);
}

std::unique_ptr<ByteSource> openMemory(std::span<const std::byte> image)
{
    return std::make_unique<MemorySource>(image);
}

}  // namespace pcmwrap::source
