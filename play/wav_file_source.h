#pragma once
// A WAVE file as the player's source, read through pcmwrap::WavReader: RIFF, RF64 and
// BW64; PCM, float and extensible; streamed files, also on standard input or a FIFO.

#include <filesystem>

#include "play/pcm_source.h"
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
    bool floatSamples() const override { return reader_.format().encoding == pcmwrap::SampleEncoding::kFloat; }
    std::size_t readFrames(std::span<std::int16_t> interleaved) override { return reader_.readFrames(interleaved); }
    std::size_t readFrames(std::span<float> interleaved) override { return reader_.readFrames(interleaved); }

private:
    pcmwrap::WavReader reader_;
};
