// Preloaded into the converter by tests: every ftruncate fails with EIO, so a test sees
// from the program's outcome whether it emptied a file or left it alone.

#include <sys/types.h>

#include <cerrno>

extern "C" int ftruncate(int /*fd*/, off_t /*length*/)
{
    errno = EIO;
    return -1;
}

extern "C" int ftruncate64(int /*fd*/, off_t /*length*/)
{
    errno = EIO;
    return -1;
}
