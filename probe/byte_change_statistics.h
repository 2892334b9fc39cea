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
    // Tells which bytes never change and which are sign bytes: call once, after the last
    // add() and before asking.
    void finish();

    // The mean size of the change of the byte in `slot` (0: first in the file) of the
    // samples of `channel` from a frame to the next, frames of `channels` samples, the
    // samples starting `offset` bytes (less than the width) after a block's start; a change
    // is taken modulo 256 (from 0 to 128).
    double meanChange(int channels, int channel, int slot, int offset = 0) const;
    // Whether that byte holds one value throughout (padding, as the zero byte of 16-bit
    // samples in 24-bit containers).
    bool constant(int channels, int channel, int slot, int offset = 0) const;
    // The mean size of that byte's change over the frames where the byte above it (before
    // it in the file for big-endian samples, after it for little-endian ones) changed by 2
    // or more, and in `moves` how many frames that was. In a sample such a change is 512
    // steps or more of the byte below, which then changes at random (by 64 on average);
    // a byte of another channel (8-bit channels read as wider samples) changes as little
    // as ever.
    double changeAfterUpperMoved(int channels, int channel, int slot, int offset, ByteOrder order, double& moves) const;
    // Whether that byte holds 0x00 and 0xFF and nothing else: the sign byte of quiet
    // samples (from the first byte).
    bool signBytes(int channels, int channel, int slot) const
    {
        return signBytes_[static_cast<std::size_t>(channels - 1)][static_cast<std::size_t>(channel)][static_cast<std::size_t>(slot)];
    }

private:
    struct Place {
        std::size_t channel;
        std::size_t slot;
    };
    // Where a byte of a reading that starts `offset` bytes in lies in the reading that
    // starts at the block's start: a later slot, perhaps of the next sample.
    Place placeOf(int channels, int channel, int slot, int offset) const;

    // The sums of add() at each lag are kept by position in a row of whole frames at least
    // this long.
    static constexpr std::size_t kShortRow = 256;
    static constexpr std::size_t kLongestRow = kShortRow + kMaxChannels * 4;

    int width_;
    std::array<double, kMaxChannels> pairs_{};
    // By position modulo kPhases, slot; as far as the blocks reached (a dump shorter than
    // kPhases samples leaves the rest unseen).
    std::size_t reached_ = 0;
    std::vector<std::uint8_t> lowest_;
    std::vector<std::uint8_t> highest_;
    std::vector<std::uint8_t> kinds_;  // by position and slot: 1 for a 0x00 seen, 2 for 0xFF, 4 for another
    // By channel count - 1, channel, slot: the sizes of the changes from frame to frame.
    std::array<std::array<std::array<double, 4>, kMaxChannels>, kMaxChannels> totals_{};
    std::array<std::array<std::array<bool, 4>, kMaxChannels>, kMaxChannels> constant_{};
    std::array<std::array<std::array<bool, 4>, kMaxChannels>, kMaxChannels> signBytes_{};
    // By channel count - 1, channel, slot: the sizes and counts of changeAfterUpperMoved(),
    // for the byte before and for the byte after.
    std::array<std::array<std::array<std::array<double, 4>, 4>, kMaxChannels>, kMaxChannels> afterMove_{};
};

}  // namespace pcmwrap::probe
