#pragma once
// A WAVE file as the player's source, read through pcmwrap::WavReader: RIFF, RF64 and
// BW64; PCM, float and extensible; streamed files, also on standard input or a FIFO.

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
    // An open descriptor (standard input), read as a stream when it is one.
    explicit WavFileSource(int descriptor) : reader_(descriptor) {}

    unsigned channels() const override { return reader_.format().channels; }
    std::uint32_t sampleRate() const override { return reader_.format().sampleRate; }
    std::uint32_t channelMask() const override { return reader_.format().channelMask; }
    // 0 for a stream whose length was never filled in: it plays to its end.
    std::uint64_t frameCount() const override { return reader_.frameCountKnown() ? reader_.frameCount() : 0; }
    bool lengthKnown() const override { return reader_.frameCountKnown(); }
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
