#pragma once
// A WAVE file as the player's source, read through pcmwrap::WavReader: RIFF, RF64 and
// BW64; PCM, float and extensible; streamed files.

#include <algorithm>
#include <filesystem>
#include <vector>

#include "play/pcm_source.h"
#include "play/sample_rounding.h"
#include "wavfile/wav_file.h"

class WavFileSource : public PcmSource {
public:
    // Throws WavError: WAV_ERR_BAD_FORMAT for a format the reader does not take.
    explicit WavFileSource(const std::filesystem::path& path) : reader_(path) {}

    unsigned channels() const override { return reader_.format().channels; }
    std::uint32_t sampleRate() const override { return reader_.format().sampleRate; }
    std::uint32_t channelMask() const override { return reader_.format().channelMask; }
    std::uint64_t frameCount() const override { return reader_.frameCount(); }
    bool floatSamples() const override { return reader_.format().encoding == pcmwrap::SampleEncoding::kFloat; }
    bool roundsFloatTo16Bits() const override { return true; }
    // Float samples are read as double and rounded by the player's rule (halves up).
    std::size_t readFrames(std::span<std::int16_t> interleaved) override
    {
        if (!floatSamples()) {
            return reader_.readFrames(interleaved);
        }
        wide_.resize(interleaved.size());
        const std::size_t frames = reader_.readFrames(std::span<double>(wide_));
        std::transform(wide_.begin(), wide_.begin() + static_cast<long>(frames * channels()), interleaved.begin(),
                       floatToInt16);
        return frames;
    }
    std::size_t readFrames(std::span<float> interleaved) override { return reader_.readFrames(interleaved); }

private:
    pcmwrap::WavReader reader_;
    std::vector<double> wide_;
};
