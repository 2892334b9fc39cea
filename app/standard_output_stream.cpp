#include "app/standard_output_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <iostream>

int carryWaveStreamOnStandardOutput()
{
    std::cout.flush();
    const int stream = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (stream >= 0) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    return stream;
}
