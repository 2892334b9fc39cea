#pragma once
// A file size limit on this process for a scope: writes past it fail with EFBIG, as on a
// full disk, instead of raising SIGXFSZ. The limit and the signal's handling come back
// when the scope ends, however it ends.

#include <sys/resource.h>

#include <csignal>
#include <cstdint>

namespace testsupport {

class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{static_cast<rlim_t>(bytes), previous_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace testsupport
