#pragma once
// Where the player's samples come from: a WAVE file or a raw dump, read as whole frames
// of 16-bit or float samples, whatever the source stores. Reads throw std::system_error
// when the source fails (WavError for a WAVE file).

#include <cstddef>
#include <cstdint>
#include <span>

class PcmSource {
public:
    virtual ~PcmSource() = default;

    virtual unsigned channels() const = 0;
    virtual std::uint32_t sampleRate() const = 0;
    // WAVE_FORMAT_EXTENSIBLE's speaker positions; 0 when the source names none.
    virtual std::uint32_t channelMask() const = 0;
    virtual std::uint64_t frameCount() const = 0;
    // False for a stream whose length cannot be known ahead (a pipe): frameCount() is 0.
    virtual bool lengthKnown() const { return true; }
    // Float samples are read as float and rounded by the player, halves up like every
    // wider integer sample.
    virtual bool floatSamples() const = 0;
    // True when readFrames(int16) rounds float samples as the player does, straight from
    // their stored precision: a source at the ring's rate with 1 or 2 channels is then
    // read that way, so 64-bit float never passes through float.
    virtual bool roundsFloatTo16Bits() const { return false; }

    // Whole frames into the interleaved span (a whole number of frames long); the frames
    // read, 0 at the end. 16-bit: wider samples rounded to nearest, halves up, clipped;
    // float: full scale is 1.
    virtual std::size_t readFrames(std::span<std::int16_t> interleaved) = 0;
    virtual std::size_t readFrames(std::span<float> interleaved) = 0;
};
