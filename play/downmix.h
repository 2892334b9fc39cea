#pragma once
// Any channel count to the ring's stereo. Mono goes to both channels and stereo stays as
// it is; 3 to 8 channels are mixed by speaker position (ITU-R BS.775):
//   L = FL + 0.7071 C + 0.7071 (BL + SL),  R = FR + 0.7071 C + 0.7071 (BR + SR),
// the LFE dropped, then both scaled by one factor, 1 / (the larger sum of a side's
// weights), so that no full-scale input can clip. Positions come from the channel mask
// when it names one for every channel, otherwise from the standard order of the count:
// FL FR C LFE BL BR SL SR. Positions beyond those (a front centre pair, back and top
// centres, top corners) go to their side at 0.7071, or to both at 0.5 when centred.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr unsigned kMostMixedChannels = 8;

class Downmix {
public:
    Downmix(unsigned channels, std::uint32_t channelMask);

    unsigned channels() const { return channels_; }

    // Weights of each input channel on the left and right output, the common factor
    // applied (mono and stereo: 1 and 0).
    float left(unsigned channel) const { return left_[channel]; }
    float right(unsigned channel) const { return right_[channel]; }

    // `frames` interleaved input frames into interleaved stereo frames at `out`.
    void mix(const float* in, std::size_t frames, float* out) const;

private:
    unsigned channels_;
    std::array<float, kMostMixedChannels> left_{};
    std::array<float, kMostMixedChannels> right_{};
};
