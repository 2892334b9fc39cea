#include "play/raw_dump_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "wavfile/wav_sample_codec.h"

namespace {

using pcmwrap::SampleFormat;
using pcmwrap::codec::Stored;

// The player's line names the file: the error says only what went wrong.
std::system_error systemError()
{
    return std::system_error(errno, std::generic_category());
}

// How the codec takes the dump's samples once codecSamples has made them its own.
Stored storedOf(SampleFormat format)
{
    switch (format) {
    case SampleFormat::kU8:
    case SampleFormat::kS8:
        return Stored::kUnsigned8;
    case SampleFormat::kS16:
        return Stored::kSigned16;
    case SampleFormat::kS24:
    case SampleFormat::kS24In32:
        return Stored::kSigned24;
    case SampleFormat::kS32:
        return Stored::kSigned32;
    case SampleFormat::kF32:
        return Stored::kFloat32;
    case SampleFormat::kF64:
        return Stored::kFloat64;
    }
    return Stored::kSigned24;
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
    lengthKnown_ = S_ISREG(status.st_mode);
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

const unsigned char* RawDumpSource::codecSamples(std::size_t samples)
{
    const unsigned step = format_.sampleBytes();
    unsigned char* const bytes = bytes_.data();
    if (format_.bigEndian && step > 1) {
        for (unsigned char* sample = bytes; sample != bytes + samples * step; sample += step) {
            std::reverse(sample, sample + step);
        }
    }
    if (format_.sample == SampleFormat::kS8) {
        for (std::size_t i = 0; i < samples; ++i) {
            bytes[i] ^= 0x80;  // signed to offset binary, as WAVE files keep 8 bits
        }
    } else if (format_.sample == SampleFormat::kS24In32) {
        // The low three bytes of each word; packed forwards, each lands at or before
        // where it was read.
        for (std::size_t i = 0; i < samples; ++i) {
            std::copy_n(bytes + 4 * i, 3, bytes + 3 * i);
        }
    }
    return bytes;
}

// The samples are converted by the same rules as a WAVE file's (WavReader's).
std::size_t RawDumpSource::readFrames(std::span<std::int16_t> interleaved)
{
    const std::size_t samples = readBytes(interleaved.size() / format_.channels) * format_.channels;
    pcmwrap::codec::decode(storedOf(format_.sample), codecSamples(samples), samples, interleaved.data());
    return samples / format_.channels;
}

std::size_t RawDumpSource::readFrames(std::span<float> interleaved)
{
    const std::size_t samples = readBytes(interleaved.size() / format_.channels) * format_.channels;
    pcmwrap::codec::decode(storedOf(format_.sample), codecSamples(samples), samples, interleaved.data());
    return samples / format_.channels;
}
