#include "app/stream_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "convert/interruption.h"
#include "convert/sample_dump_reader.h"

namespace {

// How often a FIFO without a reader is tried again: its open cannot wait for one without
// blocking where no signal ends the wait.
constexpr int kReaderWaitMilliseconds = 20;

// A descriptor opened without blocking, made blocking for the writes.
int blocking(int descriptor)
{
    if (descriptor >= 0) {
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    }
    return descriptor;
}

}  // namespace

StreamOutput::StreamOutput(const std::string& name, int standardOutput)
{
    const std::string start = "Error creating <" + name + ">: ";
    if (name == kStandardStreamName) {
        if (isatty(standardOutput) != 0) {
            refusal_ = start + "standard output is a terminal";
            return;
        }
        descriptor_ = standardOutput;
        return;
    }
    struct stat status {};
    if (stat(name.c_str(), &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))) {
        return;  // created by name, or refused there as not a regular file
    }
    descriptor_ = S_ISFIFO(status.st_mode) ? openFifo(name)
                                           : blocking(open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    owned_ = descriptor_ >= 0;
    if (stopped_) {
        return;
    }
    struct stat opened {};
    // Checked on what was opened: a name swapped for a regular file after the check is
    // not emptied through here, and a terminal is never written a stream.
    if (descriptor_ < 0 || fstat(descriptor_, &opened) != 0 ||
        !(S_ISFIFO(opened.st_mode) || S_ISCHR(opened.st_mode)) || isatty(descriptor_) != 0) {
        refusal_ = start + "not a regular file";
        if (owned_) {
            close(descriptor_);
        }
        descriptor_ = -1;
        owned_ = false;
    }
}

StreamOutput::~StreamOutput()
{
    if (owned_) {
        close(descriptor_);
    }
}

int StreamOutput::openFifo(const std::string& name)
{
    for (;;) {
        const int descriptor = open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor >= 0 || errno != ENXIO) {
            return blocking(descriptor);
        }
        pollfd wake{interruptionDescriptor(), POLLIN, 0};
        poll(&wake, 1, kReaderWaitMilliseconds);
        if (interruptionSignal() != 0) {
            stopped_ = true;
            return -1;
        }
    }
}
