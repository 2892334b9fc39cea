#pragma once
// How much each byte of a sample changes from one frame to the next, byte by byte and
// channel by channel. In a sound the most significant byte changes least and the least
// significant most, at any loudness: this tells the byte order even of quiet material,
// whose low byte alone is a smooth wave too, and it unmasks readings whose "samples" mix
// bytes of different samples.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "probe/sample_layouts.h"
#include "probe/signal_statistics.h"

namespace pcmwrap::probe {

class ByteChangeStatistics {
public:
    explicit ByteChangeStatistics(int width);

    // Adds a block of bytes that starts a frame under every channel count.
    void add(std::span<const std::byte> bytes);

    // The mean size of the change of the byte in `slot` (0: first in the file) of the
    // samples of `channel` from a frame to the next, frames of `channels` samples; a change
    // is taken modulo 256 (from 0 to 128).
    double meanChange(int channels, int channel, int slot) const;
    // Whether that byte holds one value throughout (padding, as the zero byte of 16-bit
    // samples in 24-bit containers).
    bool constant(int channels, int channel, int slot) const;

private:
    std::size_t at(std::size_t lag, std::size_t phase, std::size_t slot) const
    {
        return (lag * kPhases + phase) * 4 + slot;
    }

    int width_;
    std::vector<double> change_;  // by lag - 1, position modulo kPhases, slot
    std::array<double, kMaxChannels> pairs_{};
    std::vector<std::uint8_t> lowest_;  // by position modulo kPhases, slot
    std::vector<std::uint8_t> highest_;
};

}  // namespace pcmwrap::probe
