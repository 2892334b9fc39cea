// Preloaded into the converter by tests: splice fails with EINVAL, as for a file system
// or descriptor that cannot splice, so the copy must go through read and write. With
// PCMWRAP_REFUSE_SPLICE=into-file only a splice into a regular file fails: the bytes are
// then in the copy's pipe already and must still reach the file.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern "C" ssize_t splice(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t length, unsigned int flags)
{
    const char* const only = std::getenv("PCMWRAP_REFUSE_SPLICE");
    struct stat target {};
    const bool intoFile = fstat(out, &target) == 0 && S_ISREG(target.st_mode);
    if (only == nullptr || std::strcmp(only, "into-file") != 0 || intoFile) {
        errno = EINVAL;
        return -1;
    }
    using Splice = ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned int);
    static const auto real = reinterpret_cast<Splice>(dlsym(RTLD_NEXT, "splice"));
    return real(in, inOffset, out, outOffset, length, flags);
}
