#include "play/downmix.h"

#include <algorithm>
#include <bit>
#include <numbers>

namespace {

constexpr float kMinus3dB = static_cast<float>(std::numbers::sqrt2 / 2);

// WAVE_FORMAT_EXTENSIBLE's speaker bits, lowest first.
enum Speaker : std::uint32_t {
    kFrontLeft = 0x1,
    kFrontRight = 0x2,
    kFrontCentre = 0x4,
    kLowFrequency = 0x8,
    kBackLeft = 0x10,
    kBackRight = 0x20,
    kFrontLeftOfCentre = 0x40,
    kFrontRightOfCentre = 0x80,
    kBackCentre = 0x100,
    kSideLeft = 0x200,
    kSideRight = 0x400,
    kTopCentre = 0x800,
    kTopFrontLeft = 0x1000,
    kTopFrontCentre = 0x2000,
    kTopFrontRight = 0x4000,
    kTopBackLeft = 0x8000,
    kTopBackCentre = 0x10000,
    kTopBackRight = 0x20000,
};

constexpr std::array<std::uint32_t, kMostMixedChannels> kStandardOrder = {
    kFrontLeft, kFrontRight, kFrontCentre, kLowFrequency, kBackLeft, kBackRight, kSideLeft, kSideRight};

struct Weights {
    float left;
    float right;
};

Weights weightsOf(std::uint32_t speaker)
{
    switch (speaker) {
    case kFrontLeft:
        return {1, 0};
    case kFrontRight:
        return {0, 1};
    case kFrontCentre:
        return {kMinus3dB, kMinus3dB};
    case kBackLeft:
    case kSideLeft:
    case kFrontLeftOfCentre:
    case kTopFrontLeft:
    case kTopBackLeft:
        return {kMinus3dB, 0};
    case kBackRight:
    case kSideRight:
    case kFrontRightOfCentre:
    case kTopFrontRight:
    case kTopBackRight:
        return {0, kMinus3dB};
    case kBackCentre:
    case kTopCentre:
    case kTopFrontCentre:
    case kTopBackCentre:
        return {0.5f, 0.5f};
    default:  // the LFE, and positions without a place
        return {0, 0};
    }
}

}  // namespace

Downmix::Downmix(unsigned channels, std::uint32_t channelMask) : channels_(channels)
{
    if (channels == 1) {
        left_[0] = right_[0] = 1;
        return;
    }
    if (channels == 2) {
        left_[0] = right_[1] = 1;
        return;
    }
    // The mask's set bits name the channels' positions in order, when there is one per channel.
    const bool maskNamesAll = std::popcount(channelMask) == static_cast<int>(channels);
    float leftSum = 0;
    float rightSum = 0;
    for (unsigned channel = 0; channel < channels; ++channel) {
        std::uint32_t speaker = kStandardOrder[channel];
        if (maskNamesAll) {
            speaker = channelMask & -channelMask;
            channelMask &= channelMask - 1;
        }
        const Weights weights = weightsOf(speaker);
        left_[channel] = weights.left;
        right_[channel] = weights.right;
        leftSum += weights.left;
        rightSum += weights.right;
    }
    const float largest = std::max(leftSum, rightSum);
    const float factor = largest > 0 ? 1 / largest : 0;
    for (unsigned channel = 0; channel < channels; ++channel) {
        left_[channel] *= factor;
        right_[channel] *= factor;
    }
}

void Downmix::mix(const float* in, std::size_t frames, float* out) const
{
    for (std::size_t frame = 0; frame < frames; ++frame, in += channels_, out += 2) {
        float l = 0;
        float r = 0;
        for (unsigned channel = 0; channel < channels_; ++channel) {
            l += left_[channel] * in[channel];
            r += right_[channel] * in[channel];
        }
        out[0] = l;
        out[1] = r;
    }
}
