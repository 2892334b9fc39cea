#pragma once
// Sums gathered over a dump's decoded samples for one sample layout, from which the
// probe scores each channel count: how smooth each channel is from frame to frame, and
// whether the signal has a structure that repeats over a longer frame.

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "probe/sample_layouts.h"

namespace pcmwrap::probe {

// Every frame size of 1 to 8 samples divides this many samples: sums kept per position
// modulo it serve every channel count.
inline constexpr std::size_t kPhases = 840;
// Frames up to this many samples are looked at for structure: 8 channels of a narrower
// width read as a wider one span up to 24 samples of the reading.
inline constexpr int kLongestPeriod = 24;
// The longest frame of any reading, in the samples of the narrowest: 8 bytes times 8.
inline constexpr std::size_t kLongestFrame = 64;

// Beyond this a float reading's value is wild: integer samples, and floats in the wrong byte
// order, read as floats give huge, infinite or vanishingly small numbers.
inline constexpr double kLargestValue = 1000.0;
// The sums of the bright predictors' residuals are kept by position modulo this many samples
// at most.
inline constexpr std::size_t kBrightRow = 24;

// Adds sums kept by position, folded, onto a frame of frame.size() positions: the sums
// of a whole number of frames, or of the positions a short dump reached.
inline void foldOnto(std::span<const double> sums, std::span<double> frame)
{
    for (std::size_t base = 0; base < sums.size(); base += frame.size()) {
        const std::size_t length = std::min(frame.size(), sums.size() - base);
        for (std::size_t p = 0; p < length; ++p) {
            frame[p] += sums[base + p];
        }
    }
}

// The sums of each run of `group` positions of a frame: a frame of samples by its frames
// of channels.
inline std::array<double, kLongestFrame> groupedBy(std::span<const double> frame, std::size_t group)
{
    std::array<double, kLongestFrame> sums{};
    for (std::size_t p = 0; p < frame.size(); ++p) {
        sums[p / group] += frame[p];
    }
    return sums;
}

class SignalStatistics {
public:
    // Adds a block of samples whose first one starts a frame under every channel count.
    void add(std::span<const double> samples);
    // add() in two parts: the counts of odd values and the levels by position (what
    // samples(), peak(), spread() and the counts below need), then the rest. A reading
    // the counts rule out needs no more. addShape() takes blocks addLevels() has seen.
    void addLevels(std::span<const double> samples);
    void addShape(std::span<const double> samples);

    // Sum of squared deviations from each channel's mean, over all channels.
    double spread(int channels) const;
    // Each channel's prediction error from the frames before it, over the channel's
    // variance: 1 for white noise, near 0 for a smooth sound; a channel that never changes
    // gets a negative value, to be left out. One per channel, so that a loud channel cannot
    // hide a rough one. The best of four short predictors, each from the frame before and
    // the one before that: x[n-1] and 2x[n-1] - x[n-2] for most sound, -x[n-1] and
    // -2x[n-1] - x[n-2] for bright sound (hi-hats, their energy near the top of the band),
    // which the first two make look rough, and more channels than there are look smoother.
    // Sizes of the residuals, not squares: one click would outweigh a whole smooth sound's
    // squares. Every predictor leans on the frame just before: a predictor free to skip it
    // (a longer linear prediction) would read two interleaved channels as one just as well.
    // With them, what spread() gives, and the sums over channels of each channel's sample
    // count times its mean first (x[n] - x[n-1]) and second (x[n] - 2x[n-1] + x[n-2])
    // difference size squared, to set against the spread.
    struct Summary {
        std::array<double, kMaxChannels> errors{};
        double spread = 0;
        double firstSizes = 0;
        double secondSizes = 0;
        // Each channel's mean first difference size.
        std::array<double, kMaxChannels> steps{};
    };
    Summary summary(int channels) const;
    // The sums of the sizes of the frame-to-frame differences at each group of `channels`
    // positions of a frame of `period` samples (period a multiple of channels and a
    // divisor of kPhases), in order.
    std::array<double, kLongestFrame> firstDifferencesByPosition(int channels, int period) const;
    // The variance of the samples at each group of `channels` positions of a frame of
    // `period` samples (as firstDifferencesByPosition groups them), in order.
    std::array<double, kLongestFrame> varianceByPosition(int channels, int period) const;
    // The sums of the sizes of the frame-to-frame differences by position modulo kPhases, as
    // far as the blocks reached (the rest are 0).
    std::span<const double> firstDifferences(int channels) const
    {
        return std::span(first_[static_cast<std::size_t>(channels - 1)]).first(reached_);
    }

    // How far each channel is from one sine (a sine of any frequency w keeps x[n] + x[n-2]
    // = 2 cos(w) x[n-1]): what the best such w leaves of x[n] + x[n-2], over the variance.
    // Near zero for a pure tone, however high.
    double unlikeASine(int channels) const;

    std::size_t samples() const { return samples_; }
    double peak() const { return peak_; }
    // Values that are not finite or beyond kLargestValue (only a float reading has them):
    // counted, and taken as 0 in every sum, so that one stray value leaves the rest weighed.
    std::size_t wildValues() const { return wild_; }
    // Nonzero samples below 1e-20 of full scale: a float reading of integer data makes many.
    std::size_t tinyValues() const { return tiny_; }
    // Samples within 1/8 of full scale of zero: sound has many, clipped or not; a signed
    // reading of offset-binary bytes (8-bit unsigned read as wider samples) almost none.
    std::size_t nearZeroValues() const { return nearZero_; }
    // The least share in any one channel of the samples within 1/8 of full scale of zero,
    // zero itself left out: sound that crosses zero has many, and neither a byte of sign
    // and exponent read as an 8-bit channel has, whatever zeros of silence it holds, nor
    // the high byte of signed samples read as unsigned. (A synthesised square wave has
    // none either, which only the 8-bit readings are asked.)
    double leastNearZeroShare(int channels) const;
    // Samples of a 32-bit signed reading that are no 24-bit sample in a 32-bit word: the
    // high byte neither the sign extension of the rest nor 0 (between -2^-8 and 2^-7 of
    // full scale, every one of them is).
    std::size_t outside24Bits() const { return outside24_; }

private:
    std::array<double, kPhases> sum_{};
    std::array<double, kPhases> sumSquares_{};
    std::array<double, kPhases> count_{};
    std::array<double, kPhases> nearZeroByPosition_{};
    std::array<std::array<double, kPhases>, kMaxChannels> first_{};

    // By channel count c, with u = x[n] + x[n-2c] and v = x[n-c]: sums of u u, u v, v v.
    std::array<std::array<double, 3>, kMaxChannels> sine_{};
    // By channel count c: sizes of x[n] + x[n-c] and x[n] + 2x[n-c] + x[n-2c] by position
    // modulo a row of a multiple of c samples.
    std::array<std::array<double, kBrightRow>, kMaxChannels> brightFirst_{};
    std::array<std::array<double, kBrightRow>, kMaxChannels> brightSecond_{};
    // By channel count c: sizes of x[n] - 2x[n-c] + x[n-2c], kept as the two above.
    std::array<std::array<double, kBrightRow>, kMaxChannels> second_{};
    std::size_t samples_ = 0;
    std::size_t reached_ = 0;  // positions modulo kPhases that any block reached
    std::size_t wild_ = 0;
    std::size_t tiny_ = 0;
    std::size_t nearZero_ = 0;
    std::size_t outside24_ = 0;
    double peak_ = 0;
};

}  // namespace pcmwrap::probe
