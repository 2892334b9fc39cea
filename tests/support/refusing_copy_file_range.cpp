// Preloaded into the converter by tests: copy_file_range fails with EXDEV, as it does
// between two file systems on older kernels, so the copy must go through read and write.

#include <sys/types.h>

#include <cerrno>

extern "C" ssize_t copy_file_range(int /*in*/, off_t* /*inOffset*/, int /*out*/, off_t* /*outOffset*/,
                                   size_t /*length*/, unsigned int /*flags*/)
{
    errno = EXDEV;
    return -1;
}
