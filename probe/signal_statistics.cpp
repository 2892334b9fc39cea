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
    std::size_t phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum_[phase] += samples[i];
        sumSquares_[phase] += samples[i] * samples[i];
        count_[phase] += 1;
        if (++phase == kPhases) {
            phase = 0;
        }
    }
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        auto& first = first_[lag - 1];
        phase = 0;
        double second = 0;
        for (std::size_t i = 0; i + lag < count; ++i) {
            const double step = samples[i + lag] - samples[i];
            first[phase] += step * step;
            if (++phase == kPhases) {
                phase = 0;
            }
        }
        for (std::size_t i = 0; i + 2 * lag < count; ++i) {
            const double curve = samples[i + 2 * lag] - 2 * samples[i + lag] + samples[i];
            second += curve * curve;
        }
        second_[lag - 1] += second;
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

double SignalStatistics::firstDifferences(int channels) const
{
    double total = 0;
    for (double energy : first_[static_cast<std::size_t>(channels - 1)]) {
        total += energy;
    }
    return total;
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
