#include "play/raw_dump_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "wavfile/wav_sample_codec.h"

namespace {

using Encoding = RawDumpFormat::Encoding;

// The player's line names the file: the error says only what went wrong.
std::system_error systemError()
{
    return std::system_error(errno, std::generic_category());
}

// How the codec takes the dump's samples once they are little-endian. An 8-bit dump is
// unsigned, as WAVE files store 8 bits.
pcmwrap::codec::Stored storedOf(const RawDumpFormat& format)
{
    switch (format.bits) {
    case 8:
        return pcmwrap::codec::Stored::kUnsigned8;
    case 16:
        return pcmwrap::codec::Stored::kSigned16;
    case 24:
        return pcmwrap::codec::Stored::kSigned24;
    default:
        return format.encoding == Encoding::kFloat ? pcmwrap::codec::Stored::kFloat32
                                                   : pcmwrap::codec::Stored::kSigned32;
    }
}

}  // namespace

namespace {

std::FILE* openDump(const std::string& name)
{
    if (name != "-") {
        return std::fopen(name.c_str(), "rb");
    }
    const int descriptor = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    std::FILE* const file = descriptor < 0 ? nullptr : fdopen(descriptor, "rb");
    if (file == nullptr && descriptor >= 0) {
        close(descriptor);
    }
    return file;
}

}  // namespace

RawDumpSource::RawDumpSource(const std::string& name, const RawDumpFormat& format, std::vector<unsigned char> prefix)
    : name_(name), format_(format), file_(openDump(name)), prefix_(std::move(prefix))
{
    if (!file_) {
        throw systemError();
    }
    struct stat status {};
    if (fstat(fileno(file_.get()), &status) != 0) {
        throw systemError();
    }
    // A pipe or device has no size: its frames are counted as they come.
    frameCount_ = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) / format_.frameBytes() : 0;
    framesLeft_ = S_ISREG(status.st_mode) ? frameCount_ : UINT64_MAX;
}

std::size_t RawDumpSource::readBytes(std::size_t frames)
{
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, framesLeft_));
    bytes_.resize(frames * format_.frameBytes());
    const std::size_t early = std::min(prefix_.size() - prefixUsed_, bytes_.size());
    std::copy_n(prefix_.begin() + static_cast<std::ptrdiff_t>(prefixUsed_), early, bytes_.begin());
    prefixUsed_ += early;
    const std::size_t got = early + std::fread(bytes_.data() + early, 1, bytes_.size() - early, file_.get());
    if (got < bytes_.size() && std::ferror(file_.get())) {
        throw systemError();
    }
    // The bytes of a partial frame at the end are dropped.
    const std::size_t whole = got / format_.frameBytes();
    framesLeft_ = got < bytes_.size() ? 0 : framesLeft_ - whole;
    return whole;
}

const unsigned char* RawDumpSource::littleEndianSamples(std::size_t samples)
{
    const unsigned step = format_.sampleBytes();
    if (format_.bigEndian && step > 1) {
        for (auto sample = bytes_.begin(); sample != bytes_.begin() + samples * step; sample += step) {
            std::reverse(sample, sample + step);
        }
    }
    return bytes_.data();
}

// The samples are converted by the same rules as a WAVE file's (WavReader's).
std::size_t RawDumpSource::readFrames(std::span<std::int16_t> interleaved)
{
    const std::size_t samples = readBytes(interleaved.size() / format_.channels) * format_.channels;
    pcmwrap::codec::decode(storedOf(format_), littleEndianSamples(samples), samples, interleaved.data());
    return samples / format_.channels;
}

std::size_t RawDumpSource::readFrames(std::span<float> interleaved)
{
    const std::size_t samples = readBytes(interleaved.size() / format_.channels) * format_.channels;
    pcmwrap::codec::decode(storedOf(format_), littleEndianSamples(samples), samples, interleaved.data());
    return samples / format_.channels;
}
