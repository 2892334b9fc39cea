#pragma once
// How much each byte of a sample changes from one frame to the next, byte by byte. In a
// sound the most significant byte changes least and the least significant most, at any
// loudness: this tells the byte order even of quiet material, whose low byte alone is a
// smooth wave too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "probe/sample_layouts.h"

namespace pcmwrap::probe {

class ByteChangeStatistics {
public:
    explicit ByteChangeStatistics(int width) : width_(width) {}

    // Adds a block of bytes that starts a frame under every channel count.
    void add(std::span<const std::byte> bytes);

    // The mean size of the change of the byte in `slot` (0: first in the file) of each
    // sample from the same channel's sample a frame earlier, a change taken modulo 256
    // (from 0 to 128), for frames of `channels` samples.
    double meanChange(int channels, int slot) const;
    // Whether the byte in `slot` holds one value throughout (padding, as the zero byte
    // of 16-bit samples in 24-bit containers).
    bool constant(int slot) const;

private:
    int width_;
    std::array<std::array<double, 4>, kMaxChannels> change_{};
    std::array<double, kMaxChannels> pairs_{};
    std::array<std::uint8_t, 4> lowest_{255, 255, 255, 255};
    std::array<std::uint8_t, 4> highest_{};
};

}  // namespace pcmwrap::probe
