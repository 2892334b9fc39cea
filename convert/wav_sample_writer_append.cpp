// The sample writer's copy inside the kernel, for dumps whose samples are already in the
// file's form: the bytes never pass through this process, as with cat.

#include <cerrno>
#include <ios>
#include <system_error>

#include "convert/wav_sample_writer.h"

std::uint64_t WavSampleWriter::append(int source, std::uint64_t count)
{
    std::uint64_t copied = 0;
    const MMRESULT result = mmioAppendFromDescriptor(handle_, &io_, source, count, &copied);
    const int readError = errno;
    bytesPlaced_ += copied;
    countFrames(copied);
    if (result == MMIOERR_CANNOTREAD) {
        // The words the dump reader's stream gives a failed read, so it reads the same.
        throw std::ios_base::failure("basic_filebuf::underflow error reading the file",
                                     std::error_code(readError, std::system_category()));
    }
    if (result != MMSYSERR_NOERROR) {
        finish();
        settle();
        failWith("Error writing to <", static_cast<std::int32_t>(result));
    }
    return copied;
}
