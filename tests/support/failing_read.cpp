// Preloaded into the converter by tests to make an input fail in the middle: once
// PCMWRAP_FAIL_READ_AFTER bytes have been read from the file named by
// PCMWRAP_FAIL_READ_PATH, every further read of it fails with EIO, as a disk error would.

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);

ReadFunction realRead()
{
    static const auto function = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "read"));
    return function;
}

bool isFailingFile(int fd)
{
    const char* const wanted = std::getenv("PCMWRAP_FAIL_READ_PATH");
    if (wanted == nullptr) {
        return false;
    }
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length < 0) {
        return false;
    }
    target[length] = '\0';
    return std::strcmp(target, wanted) == 0;
}

std::size_t bytesDelivered = 0;

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    if (!isFailingFile(fd)) {
        return realRead()(fd, buffer, count);
    }
    const char* const after = std::getenv("PCMWRAP_FAIL_READ_AFTER");
    const std::size_t limit = after != nullptr ? std::strtoull(after, nullptr, 10) : 0;
    if (bytesDelivered >= limit) {
        errno = EIO;
        return -1;
    }
    const ssize_t got = realRead()(fd, buffer, count);
    if (got > 0) {
        bytesDelivered += static_cast<std::size_t>(got);
    }
    return got;
}
