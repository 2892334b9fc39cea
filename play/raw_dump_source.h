#pragma once
// A raw PCM dump as the player's source: bare samples, channels interleaved, in the
// format the command line (or the probe) gives; nothing in the file says it. A partial
// frame at the end is not played.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "formats/sample_format.h"
#include "play/pcm_source.h"

struct RawDumpFormat {
    std::uint32_t sampleRate = 44100;
    pcmwrap::SampleFormat sample = pcmwrap::SampleFormat::kS24;
    unsigned channels = 1;
    bool bigEndian = true;  // meaningless for 8 bits

    unsigned sampleBytes() const { return static_cast<unsigned>(pcmwrap::sampleFormatInfo(sample).dumpBytes); }
    std::size_t frameBytes() const { return std::size_t{sampleBytes()} * channels; }
};

class RawDumpSource : public PcmSource {
public:
    // Throws std::system_error when the file cannot be opened or its size read. "-" is
    // standard input. prefix: bytes already read from the file's start (by the probe, from
    // a stream that cannot be read twice), played first.
    RawDumpSource(const std::string& name, const RawDumpFormat& format, std::vector<unsigned char> prefix = {});

    unsigned channels() const override { return format_.channels; }
    std::uint32_t sampleRate() const override { return format_.sampleRate; }
    std::uint32_t channelMask() const override { return 0; }
    std::uint64_t frameCount() const override { return frameCount_; }
    bool lengthKnown() const override { return lengthKnown_; }
    bool floatSamples() const override
    {
        return pcmwrap::sampleFormatInfo(format_.sample).kind == pcmwrap::SampleKind::kFloat;
    }
    std::size_t readFrames(std::span<std::int16_t> interleaved) override;
    std::size_t readFrames(std::span<float> interleaved) override;

private:
    // Reads up to `frames` whole frames into bytes_; the frames read.
    std::size_t readBytes(std::size_t frames);
    // The first `samples` samples of bytes_, turned in place into what the codec reads:
    // little-endian, 8-bit unsigned, 24-bit packed.
    const unsigned char* codecSamples(std::size_t samples);

    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::string name_;
    RawDumpFormat format_;
    std::unique_ptr<std::FILE, CloseFile> file_;
    std::uint64_t frameCount_ = 0;
    bool lengthKnown_ = true;
    std::uint64_t framesLeft_ = 0;
    std::vector<unsigned char> bytes_;
    std::vector<unsigned char> prefix_;
    std::size_t prefixUsed_ = 0;
};
