// The converter with the RIFF file size ceiling lowered, so that a program test can make a
// conversion reach it without writing 4 GiB:
//   pcmwrap_under_ceiling <largest file size in bytes> [pcmwrap's arguments...]
// Test-only: the shipped program reads no such setting from anywhere.

#include <cstdlib>

#include "app/driver.h"
#include "platform/mmio_testing.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        return EXIT_FAILURE;
    }
    mmioSetMaximumFileSizeForTesting(std::strtoull(argv[1], nullptr, 10));
    // The converter sees its own name and then its arguments.
    argv[1] = argv[0];
    return runConversion(argc - 1, argv + 1);
}
