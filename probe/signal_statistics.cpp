#include "probe/signal_statistics.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

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

}  // namespace

void SignalStatistics::add(std::span<const double> input)
{
    addLevels(input);
    addShape(input);
}

void SignalStatistics::addLevels(std::span<const double> input)
{
    for (std::size_t i = 0; i < input.size(); ++i) {
        const double magnitude = std::fabs(input[i]);
        if (!(magnitude <= kLargestValue)) {
            ++wild_;
            continue;
        }
        peak_ = std::max(peak_, magnitude);
        tiny_ += magnitude != 0 && magnitude < 1e-20 ? 1 : 0;
        nearZero_ += magnitude < 0.125 ? 1 : 0;
        outside24_ += input[i] < -1.0 / 256 || input[i] >= 1.0 / 128 ? 1 : 0;
    }
    std::vector<double> tamed;
    const std::span<const double> samples = tamedSamples(input, tamed);
    const std::size_t count = samples.size();
    samples_ += count;
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
            nearZeroByPosition_[p] += x[base + p] != 0 && std::fabs(x[base + p]) < 0.125 ? 1 : 0;
        }
    }
}

double SignalStatistics::leastNearZeroShare(int channels) const
{
    double least = 1;
    for (int channel = 0; channel < channels; ++channel) {
        double near = 0;
        double count = 0;
        for (auto phase = static_cast<std::size_t>(channel); phase < kPhases; phase += static_cast<std::size_t>(channels)) {
            near += nearZeroByPosition_[phase];
            count += count_[phase];
        }
        if (count > 0) {
            least = std::min(least, near / count);
        }
    }
    return least;
}

void SignalStatistics::addShape(std::span<const double> input)
{
    std::vector<double> tamed;
    const std::span<const double> samples = tamedSamples(input, tamed);
    const std::size_t count = samples.size();
    const double* x = samples.data();
    const std::size_t rows = count / kPhases;
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        // In kLanes separate sums, which the compiler vectorises (one sum cannot be).
        constexpr std::size_t kLanes = 8;
        std::array<double, kLanes> uu{};
        std::array<double, kLanes> uv{};
        std::array<double, kLanes> vv{};
        std::size_t n = 2 * lag;
        for (; n + kLanes <= count; n += kLanes) {
            for (std::size_t k = 0; k < kLanes; ++k) {
                const double u = x[n + k] + x[n + k - 2 * lag];
                const double v = x[n + k - lag];
                uu[k] += u * u;
                uv[k] += u * v;
                vv[k] += v * v;
            }
        }
        for (; n < count; ++n) {
            const double u = x[n] + x[n - 2 * lag];
            const double v = x[n - lag];
            uu[0] += u * u;
            uv[0] += u * v;
            vv[0] += v * v;
        }
        sine_[lag - 1][0] += std::accumulate(uu.begin(), uu.end(), 0.0);
        sine_[lag - 1][1] += std::accumulate(uv.begin(), uv.end(), 0.0);
        sine_[lag - 1][2] += std::accumulate(vv.begin(), vv.end(), 0.0);
    }
    // Sizes of the residuals of the two predictors of bright sound (energy near the top of
    // the band, as hi-hats have), x[n] + x[n-1] and x[n] + 2x[n-1] + x[n-2], and of the
    // second difference, by channel.
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        const std::size_t row = rowLength(lag);
        double* first = brightFirst_[lag - 1].data();
        double* second = brightSecond_[lag - 1].data();
        double* plain = second_[lag - 1].data();
        for (std::size_t base = 0; base < count; base += row) {
            const std::size_t to = std::min(row, count - base);
            for (std::size_t p = base < lag ? lag - base : 0; p < to; ++p) {
                first[p] += std::fabs(x[base + p] + x[base + p - lag]);
            }
            for (std::size_t p = base < 2 * lag ? 2 * lag - base : 0; p < to; ++p) {
                second[p] += std::fabs(x[base + p] + 2 * x[base + p - lag] + x[base + p - 2 * lag]);
                plain[p] += std::fabs(x[base + p] - 2 * x[base + p - lag] + x[base + p - 2 * lag]);
            }
        }
    }
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
        for (auto phase = static_cast<std::size_t>(channel); phase < kPhases; phase += static_cast<std::size_t>(channels)) {
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
    foldOnto(first_[static_cast<std::size_t>(channels - 1)], frame);
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
    const auto sums = foldedAndGrouped(sum_);
    const auto squares = foldedAndGrouped(sumSquares_);
    const auto counts = foldedAndGrouped(count_);
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
        for (std::size_t phase = channel; phase < kPhases; phase += c) {
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
