#pragma once
// Sums gathered over a dump's decoded samples for one sample layout, from which the
// probe scores each channel count: how smooth each channel is from frame to frame, and
// whether the signal has a structure that repeats over a longer frame.

#include <array>
#include <cstddef>
#include <span>

#include "probe/sample_layouts.h"

namespace pcmwrap::probe {

// Every frame size of 1 to 8 samples divides this many samples: sums kept per position
// modulo it serve every channel count.
inline constexpr std::size_t kPhases = 840;

class SignalStatistics {
public:
    // Adds a block of samples whose first one starts a frame under every channel count.
    void add(std::span<const double> samples);

    // Sum of squared deviations from each channel's mean, over all channels.
    double spread(int channels) const;
    // From the sizes of each channel's frame-to-frame differences, first order (x[n] -
    // x[n-1]) or second (x[n] - 2x[n-1] + x[n-2]): the sum over channels of the channel's
    // sample count times its mean difference size squared, to set against spread(). Sizes,
    // not squares: one click would outweigh a whole smooth sound's squared differences.
    double differenceSizes(int channels, int order) const;
    // The sum of the sizes of the frame-to-frame differences of the samples at positions [from, to) of a
    // frame of `period` samples (period a multiple of channels).
    double firstDifferencesAt(int channels, int period, int from, int to) const;

    // How far each channel is from one sine (a sine of any frequency w keeps x[n] + x[n-2]
    // = 2 cos(w) x[n-1]): what the best such w leaves of x[n] + x[n-2], over the variance.
    // Near zero for a pure tone, however high.
    double unlikeASine(int channels) const;

    std::size_t samples() const { return samples_; }
    double peak() const { return peak_; }
    bool finite() const { return finite_; }
    // Nonzero samples below 1e-20 of full scale: a float reading of integer data makes many.
    std::size_t tinyValues() const { return tiny_; }

private:
    std::array<double, kPhases> sum_{};
    std::array<double, kPhases> sumSquares_{};
    std::array<double, kPhases> count_{};
    std::array<std::array<double, kPhases>, kMaxChannels> first_{};
    std::array<std::array<double, kPhases>, kMaxChannels> second_{};
    // By channel count c, with u = x[n] + x[n-2c] and v = x[n-c]: sums of u u, u v, v v.
    std::array<std::array<double, 3>, kMaxChannels> sine_{};
    std::size_t samples_ = 0;
    std::size_t tiny_ = 0;
    double peak_ = 0;
    bool finite_ = true;
};

}  // namespace pcmwrap::probe
