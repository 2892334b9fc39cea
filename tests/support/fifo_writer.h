#pragma once
// The write end of a FIFO that a program under test reads, opened once the program has
// opened it for reading.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace testsupport {

// -1 when no reader came within ten seconds.
inline int openFifoForWriting(const std::string& name)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int fd = -1;
    while ((fd = open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && errno == ENXIO &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (fd >= 0) {
        fcntl(fd, F_SETFL, 0);
    }
    return fd;
}

}  // namespace testsupport
