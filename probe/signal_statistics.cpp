#include "probe/signal_statistics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <utility>
#include <vector>

#include "probe/vector_clones.h"

namespace pcmwrap::probe {
namespace {

// Sums kept by position modulo a row of this many samples or so (a multiple of the
// channel count, so they split by channel) vectorise, and cost little to clear.
constexpr std::size_t rowLength(std::size_t channels)
{
    return channels * ((16 + channels - 1) / channels);
}
static_assert(rowLength(kMaxChannels) <= kBrightRow && rowLength(7) <= kBrightRow && rowLength(5) <= kBrightRow);

}  // namespace

namespace {

// The samples with wild values (see kLargestValue) taken as 0, so that one stray value
// leaves the rest weighed: the input itself when it has none, else a copy in `tamed`.
std::span<const double> tamedSamples(std::span<const double> input, std::vector<double>& tamed)
{
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (!(std::fabs(input[i]) <= kLargestValue)) {
            if (tamed.empty()) {
                tamed.assign(input.begin(), input.end());
            }
            tamed[i] = 0;
        }
    }
    return tamed.empty() ? input : std::span<const double>(tamed);
}

// The lags at which unlikeASine() needs the sums of products x[m] x[m + d]: each channel
// count c, and twice it.
constexpr std::array<std::size_t, 12> kProductLags{1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16};

// For each channel count c, with u = x[n] + x[n-2c] and v = x[n-c] over n from 2c: the sums
// of u u, u v and v v, from the sums of products at the lags c and 2c and of squares, less
// what those hold beyond the ends of the range. One pass of twelve products a sample
// instead of eight passes of three.
[[gnu::always_inline]] inline void addSineSums(const double* x, std::size_t count,
                                               std::array<std::array<double, 3>, kMaxChannels>& sine)
{
    constexpr std::size_t kLanes = 4;
    constexpr std::size_t kReach = kProductLags.back();
    std::array<std::array<double, kLanes>, kProductLags.size()> lanes{};
    std::size_t m = 0;
    for (; m + kLanes + kReach <= count; m += kLanes) {
        for (std::size_t j = 0; j < kProductLags.size(); ++j) {
            for (std::size_t k = 0; k < kLanes; ++k) {
                lanes[j][k] += x[m + k] * x[m + k + kProductLags[j]];
            }
        }
    }
    std::array<double, kProductLags.size()> products{};
    for (std::size_t j = 0; j < kProductLags.size(); ++j) {
        products[j] = std::accumulate(lanes[j].begin(), lanes[j].end(), 0.0);
        for (std::size_t i = m; i + kProductLags[j] < count; ++i) {
            products[j] += x[i] * x[i + kProductLags[j]];
        }
    }
    const auto product = [&](std::size_t lag) {
        const auto at = std::find(kProductLags.begin(), kProductLags.end(), lag) - kProductLags.begin();
        return products[static_cast<std::size_t>(at)];
    };
    // Sums of squares and of products at the lag over a part of the block.
    const auto squaresOver = [&](std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t i = from; i < to; ++i) {
            sum += x[i] * x[i];
        }
        return sum;
    };
    const double squares = squaresOver(0, count);
    const auto productsOver = [&](std::size_t lag, std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t i = from; i < to; ++i) {
            sum += x[i] * x[i + lag];
        }
        return sum;
    };
    for (std::size_t c = 1; c <= kMaxChannels && 2 * c < count; ++c) {
        const double vv = squares - squaresOver(0, c) - squaresOver(count - c, count);
        const double uu =
            (squares - squaresOver(0, 2 * c)) + (squares - squaresOver(count - 2 * c, count)) + 2 * product(2 * c);
        const double uv = (product(c) - productsOver(c, 0, c)) + (product(c) - productsOver(c, count - 2 * c, count - c));
        sine[c - 1][0] += uu;
        sine[c - 1][1] += uv;
        sine[c - 1][2] += vv;
    }
}

// The sums of addShape() by position at one lag, the lag known when compiled, so that a
// row's sums stay in registers. Every sum adds its terms in the order of the samples.
template <std::size_t Lag>
[[gnu::always_inline]] inline void addShapeAtLag(const double* x, std::size_t count, std::array<double, kBrightRow>& brightFirst,
                                                 std::array<double, kBrightRow>& brightSecond,
                                                 std::array<double, kBrightRow>& plainSecond)
{
    // Sizes of the residuals of the two predictors of bright sound (energy near the top of
    // the band, as hi-hats have), x[n] + x[n-1] and x[n] + 2x[n-1] + x[n-2], and of the
    // second difference, by position in a row.
    constexpr std::size_t kRow = rowLength(Lag);
    std::array<double, kRow> first;
    std::copy_n(brightFirst.begin(), kRow, first.begin());
    std::array<double, kRow> second;
    std::copy_n(brightSecond.begin(), kRow, second.begin());
    std::array<double, kRow> plain;
    std::copy_n(plainSecond.begin(), kRow, plain.begin());
    // The residuals' sizes at sample n.
    const auto firstAt = [x](std::size_t n) { return std::fabs(x[n] + x[n - Lag]); };
    const auto secondAt = [x](std::size_t n) { return std::fabs(x[n] + 2 * x[n - Lag] + x[n - 2 * Lag]); };
    const auto plainAt = [x](std::size_t n) { return std::fabs(x[n] - 2 * x[n - Lag] + x[n - 2 * Lag]); };
    // The first row reaches back before the block's start: from Lag (2 Lag) on only.
    const std::size_t head = std::min(kRow, count);
    for (std::size_t p = Lag; p < head; ++p) {
        first[p] += firstAt(p);
    }
    for (std::size_t p = 2 * Lag; p < head; ++p) {
        second[p] += secondAt(p);
        plain[p] += plainAt(p);
    }
    const auto addRow = [&](std::size_t base, std::size_t length) {
        for (std::size_t p = 0; p < length; ++p) {
            first[p] += firstAt(base + p);
            second[p] += secondAt(base + p);
            plain[p] += plainAt(base + p);
        }
    };
    std::size_t base = kRow;
    for (; base + kRow <= count; base += kRow) {
        addRow(base, kRow);
    }
    if (base < count) {
        addRow(base, count - base);
    }
    std::copy_n(first.begin(), kRow, brightFirst.begin());
    std::copy_n(second.begin(), kRow, brightSecond.begin());
    std::copy_n(plain.begin(), kRow, plainSecond.begin());
}

// addShapeAtLag() for lags 1 to kMaxChannels, inlined into the caller, built for its processor.
template <std::size_t... Lags>
[[gnu::always_inline]] inline void addShapeAtLags(const double* x, std::size_t count,
                                                  std::array<std::array<double, kBrightRow>, kMaxChannels>& brightFirst,
                                                  std::array<std::array<double, kBrightRow>, kMaxChannels>& brightSecond,
                                                  std::array<std::array<double, kBrightRow>, kMaxChannels>& plainSecond,
                                                  std::index_sequence<Lags...>)
{
    (addShapeAtLag<Lags + 1>(x, count, brightFirst[Lags], brightSecond[Lags], plainSecond[Lags]), ...);
}

}  // namespace

void SignalStatistics::add(std::span<const double> input)
{
    addLevels(input);
    addShape(input);
}

PCMWRAP_VECTOR_CLONES void SignalStatistics::addLevels(std::span<const double> input)
{
    // Without branches (& rather than &&), so that the loop vectorises: a wild value counts
    // as wild and nothing else. The peak is kept as the bits of a magnitude, which order as
    // the magnitudes do (finite and not negative, so below 2^63), so that it vectorises too.
    std::int64_t wild = 0;
    std::int64_t tiny = 0;
    std::int64_t nearZero = 0;
    std::int64_t outside24 = 0;
    std::int64_t peak = std::bit_cast<std::int64_t>(peak_);
    for (std::size_t i = 0; i < input.size(); ++i) {
        const double value = input[i];
        const double magnitude = std::fabs(value);
        const bool sane = magnitude <= kLargestValue;
        wild += static_cast<std::int64_t>(!sane);
        const std::int64_t bits = sane ? std::bit_cast<std::int64_t>(magnitude) : 0;
        peak = bits > peak ? bits : peak;
        tiny += static_cast<std::int64_t>(sane & (magnitude != 0) & (magnitude < 1e-20));
        nearZero += static_cast<std::int64_t>(sane & (magnitude < 0.125));
        outside24 += static_cast<std::int64_t>(sane & ((value < -1.0 / 256) | (value >= 1.0 / 128)));
    }
    wild_ += static_cast<std::size_t>(wild);
    tiny_ += static_cast<std::size_t>(tiny);
    nearZero_ += static_cast<std::size_t>(nearZero);
    outside24_ += static_cast<std::size_t>(outside24);
    peak_ = std::bit_cast<double>(peak);
    std::vector<double> tamed;
    const std::span<const double> samples = wild == 0 ? input : tamedSamples(input, tamed);
    const std::size_t count = samples.size();
    samples_ += count;
    reached_ = std::max(reached_, std::min(count, kPhases));
    // Blocks start a frame, so sample i sits at position i % kPhases; the inner loops run
    // over whole rows of kPhases samples, which the compiler vectorises.
    const double* x = samples.data();
    const std::size_t rows = count / kPhases;
    for (std::size_t row = 0; row <= rows; ++row) {
        const std::size_t base = row * kPhases;
        const std::size_t length = std::min(kPhases, count - base);
        for (std::size_t p = 0; p < length; ++p) {
            sum_[p] += x[base + p];
            sumSquares_[p] += x[base + p] * x[base + p];
            count_[p] += 1;
            nearZeroByPosition_[p] += static_cast<double>((x[base + p] != 0) & (std::fabs(x[base + p]) < 0.125));
        }
    }
}

double SignalStatistics::leastNearZeroShare(int channels) const
{
    double least = 1;
    for (int channel = 0; channel < channels; ++channel) {
        double near = 0;
        double count = 0;
        for (auto phase = static_cast<std::size_t>(channel); phase < reached_; phase += static_cast<std::size_t>(channels)) {
            near += nearZeroByPosition_[phase];
            count += count_[phase];
        }
        if (count > 0) {
            least = std::min(least, near / count);
        }
    }
    return least;
}

PCMWRAP_VECTOR_CLONES void SignalStatistics::addShape(std::span<const double> input)
{
    std::vector<double> tamed;
    // Wild values were counted by addLevels(), which has seen this block.
    const std::span<const double> samples = wild_ == 0 ? input : tamedSamples(input, tamed);
    const std::size_t count = samples.size();
    const double* x = samples.data();
    const std::size_t rows = count / kPhases;
    addSineSums(x, count, sine_);
    addShapeAtLags(x, count, brightFirst_, brightSecond_, second_, std::make_index_sequence<kMaxChannels>());
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        if (count <= 2 * lag) {
            break;
        }
        double* first = first_[lag - 1].data();
        for (std::size_t row = 0; row <= rows; ++row) {
            const std::size_t base = row * kPhases;
            if (base + lag >= count) {
                break;
            }
            const std::size_t length = std::min(kPhases, count - lag - base);
            for (std::size_t p = 0; p < length; ++p) {
                first[p] += std::fabs(x[base + p + lag] - x[base + p]);
            }
        }
    }
}

double SignalStatistics::spread(int channels) const
{
    double total = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double sum = 0;
        double squares = 0;
        double count = 0;
        for (auto phase = static_cast<std::size_t>(channel); phase < reached_; phase += static_cast<std::size_t>(channels)) {
            sum += sum_[phase];
            squares += sumSquares_[phase];
            count += count_[phase];
        }
        if (count > 0) {
            total += std::max(0.0, squares - sum * sum / count);
        }
    }
    return total;
}

double SignalStatistics::unlikeASine(int channels) const
{
    const auto& [uu, uv, vv] = sine_[static_cast<std::size_t>(channels - 1)];
    if (!(vv > 0)) {
        return 1;
    }
    return std::max(0.0, uu - uv * uv / vv) / vv;
}

std::array<double, kLongestFrame> SignalStatistics::firstDifferencesByPosition(int channels, int period) const
{
    // Folded to one frame of `period` positions first (period divides kPhases), then grouped.
    std::array<double, kLongestFrame> folded{};
    const auto frame = std::span(folded).first(static_cast<std::size_t>(period));
    foldOnto(firstDifferences(channels), frame);
    return groupedBy(frame, static_cast<std::size_t>(channels));
}

std::array<double, kLongestFrame> SignalStatistics::varianceByPosition(int channels, int period) const
{
    // Folded to one frame first (period divides kPhases), then grouped.
    const auto size = static_cast<std::size_t>(period);
    const auto group = static_cast<std::size_t>(channels);
    const auto foldedAndGrouped = [&](std::span<const double> byPosition) {
        std::array<double, kLongestFrame> folded{};
        const auto frame = std::span(folded).first(size);
        foldOnto(byPosition, frame);
        return groupedBy(frame, group);
    };
    const auto sums = foldedAndGrouped(std::span(sum_).first(reached_));
    const auto squares = foldedAndGrouped(std::span(sumSquares_).first(reached_));
    const auto counts = foldedAndGrouped(std::span(count_).first(reached_));
    std::array<double, kLongestFrame> variances{};
    for (std::size_t g = 0; g < size / group; ++g) {
        variances[g] = counts[g] > 0 ? std::max(0.0, squares[g] / counts[g] - (sums[g] / counts[g]) * (sums[g] / counts[g])) : 0;
    }
    return variances;
}

SignalStatistics::Summary SignalStatistics::summary(int channels) const
{
    Summary summary;
    auto& errors = summary.errors;
    const auto c = static_cast<std::size_t>(channels);
    const std::size_t row = rowLength(c);
    for (std::size_t channel = 0; channel < c; ++channel) {
        double sum = 0;
        double squares = 0;
        double count = 0;
        double first = 0;
        double second = 0;
        for (std::size_t phase = channel; phase < reached_; phase += c) {
            sum += sum_[phase];
            squares += sumSquares_[phase];
            count += count_[phase];
            first += first_[c - 1][phase];
        }
        double brightFirst = 0;
        double brightSecond = 0;
        for (std::size_t p = channel; p < row; p += c) {
            second += second_[c - 1][p];
            brightFirst += brightFirst_[c - 1][p];
            brightSecond += brightSecond_[c - 1][p];
        }
        const double variance = count > 0 ? squares / count - (sum / count) * (sum / count) : 0;
        if (count > 0) {
            summary.steps[channel] = first / count;
            summary.spread += std::max(0.0, squares - sum * sum / count);
            summary.firstSizes += first * first / count;
            summary.secondSizes += second * second / count;
        }
        if (!(variance > 1e-9 * squares / count)) {  // also when count is 0
            errors[channel] = -1;
            continue;
        }
        // Mean residual size squared over the variance, scaled so that white noise gives 1
        // (a Gaussian residual of variance v has a mean size of sqrt(2v/pi); the first
        // order residuals of white noise have twice its variance, the second six times).
        const auto share = [&](double sizes, double spreadOfResidual) {
            const double mean = sizes / count;
            return mean * mean * std::numbers::pi / (2 * spreadOfResidual * variance);
        };
        errors[channel] = std::max(std::min(share(std::min(first, brightFirst), 2), share(std::min(second, brightSecond), 6)),
                                   1e-12);
    }
    return summary;
}

}  // namespace pcmwrap::probe
