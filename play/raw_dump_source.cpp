#include "play/raw_dump_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "play/sample_rounding.h"

namespace {

using Encoding = RawDumpFormat::Encoding;

// The player's line names the file: the error says only what went wrong.
std::system_error systemError()
{
    return std::system_error(errno, std::generic_category());
}

// The sample at `in` as a signed value of its own width (8-bit: less 128), from its
// bytes in the dump's order.
std::int32_t integerAt(const unsigned char* in, const RawDumpFormat& format)
{
    const unsigned count = format.sampleBytes();
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned byte = format.bigEndian ? i : count - 1 - i;
        value = value << 8 | in[byte];
    }
    if (format.encoding == Encoding::kUnsigned) {
        return static_cast<std::int32_t>(value) - (1 << (format.bits - 1));
    }
    // Sign-extend from the sample's width.
    const unsigned shift = 32 - format.bits;
    return static_cast<std::int32_t>(value << shift) >> shift;
}

float floatAt(const unsigned char* in, const RawDumpFormat& format)
{
    return std::bit_cast<float>(static_cast<std::uint32_t>(integerAt(in, format)));
}

}  // namespace

RawDumpSource::RawDumpSource(const std::string& name, const RawDumpFormat& format)
    : name_(name), format_(format), file_(std::fopen(name.c_str(), "rb"))
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
    const std::size_t got = std::fread(bytes_.data(), 1, bytes_.size(), file_.get());
    if (got < bytes_.size() && std::ferror(file_.get())) {
        throw systemError();
    }
    // The bytes of a partial frame at the end are dropped.
    const std::size_t whole = got / format_.frameBytes();
    framesLeft_ = got < bytes_.size() ? 0 : framesLeft_ - whole;
    return whole;
}

// Each converts the frames just read with one loop, chosen once per call by the encoding.
std::size_t RawDumpSource::readFrames(std::span<std::int16_t> interleaved)
{
    const std::size_t frames = readBytes(interleaved.size() / format_.channels);
    const std::size_t samples = frames * format_.channels;
    const unsigned step = format_.sampleBytes();
    const unsigned char* in = bytes_.data();
    if (format_.encoding == Encoding::kFloat) {
        for (std::size_t i = 0; i < samples; ++i, in += step) {
            interleaved[i] = floatToInt16(floatAt(in, format_));
        }
    } else {
        for (std::size_t i = 0; i < samples; ++i, in += step) {
            interleaved[i] = integerToInt16(integerAt(in, format_), format_.bits);
        }
    }
    return frames;
}

std::size_t RawDumpSource::readFrames(std::span<float> interleaved)
{
    const std::size_t frames = readBytes(interleaved.size() / format_.channels);
    const std::size_t samples = frames * format_.channels;
    const unsigned step = format_.sampleBytes();
    const unsigned char* in = bytes_.data();
    if (format_.encoding == Encoding::kFloat) {
        for (std::size_t i = 0; i < samples; ++i, in += step) {
            interleaved[i] = floatAt(in, format_);
        }
    } else {
        const float scale = 1.0f / static_cast<float>(1u << (format_.bits - 1));
        for (std::size_t i = 0; i < samples; ++i, in += step) {
            interleaved[i] = static_cast<float>(integerAt(in, format_)) * scale;
        }
    }
    return frames;
}
