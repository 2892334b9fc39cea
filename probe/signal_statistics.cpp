#include "probe/signal_statistics.h"

#include <algorithm>
#include <cmath>

namespace pcmwrap::probe {

void SignalStatistics::add(std::span<const double> samples)
{
    const std::size_t count = samples.size();
    samples_ += count;
    for (double value : samples) {
        if (!std::isfinite(value)) {
            finite_ = false;
            return;
        }
        const double magnitude = std::fabs(value);
        peak_ = std::max(peak_, magnitude);
        if (magnitude != 0 && magnitude < 1e-20) {
            ++tiny_;
        }
    }
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
        }
    }
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        double uu = 0;
        double uv = 0;
        double vv = 0;
        for (std::size_t n = 2 * lag; n < count; ++n) {
            const double u = x[n] + x[n - 2 * lag];
            const double v = x[n - lag];
            uu += u * u;
            uv += u * v;
            vv += v * v;
        }
        sine_[lag - 1][0] += uu;
        sine_[lag - 1][1] += uv;
        sine_[lag - 1][2] += vv;
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
        double* second = second_[lag - 1].data();
        for (std::size_t row = 0; row <= rows; ++row) {
            const std::size_t base = row * kPhases;
            if (base + 2 * lag >= count) {
                break;
            }
            const std::size_t length = std::min(kPhases, count - 2 * lag - base);
            for (std::size_t p = 0; p < length; ++p) {
                second[p] += std::fabs(x[base + p + 2 * lag] - 2 * x[base + p + lag] + x[base + p]);
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

double SignalStatistics::differenceSizes(int channels, int order) const
{
    const auto& sizes = (order == 1 ? first_ : second_)[static_cast<std::size_t>(channels - 1)];
    double total = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double sum = 0;
        double count = 0;
        for (auto phase = static_cast<std::size_t>(channel); phase < kPhases; phase += static_cast<std::size_t>(channels)) {
            sum += sizes[phase];
            count += count_[phase];
        }
        total += count > 0 ? sum * sum / count : 0;
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

double SignalStatistics::firstDifferencesAt(int channels, int period, int from, int to) const
{
    double total = 0;
    const auto& first = first_[static_cast<std::size_t>(channels - 1)];
    for (std::size_t phase = 0; phase < kPhases; ++phase) {
        const auto position = static_cast<int>(phase % static_cast<std::size_t>(period));
        if (position >= from && position < to) {
            total += first[phase];
        }
    }
    return total;
}

}  // namespace pcmwrap::probe
