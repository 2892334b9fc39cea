#include "probe/candidate_scores.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

#include "probe/byte_change_statistics.h"
#include "probe/sample_layouts.h"
#include "probe/signal_statistics.h"

namespace pcmwrap::probe {
namespace {

// Samples are decoded a block at a time, so memory stays small for a large window.
constexpr std::size_t kBlockBytes = 104 * kFrameAlignment;
// At most this far below full scale (4 steps of a 16-bit sample) a dump counts as silent.
constexpr double kSilentPeak = 4.0 / 32768.0;
// A float reading is plausible only within this range: integer samples, and floats in the
// wrong byte order, read as floats give huge, infinite or vanishingly small numbers. A few
// huge values would make the rest of such a reading look still next to them.
constexpr double kLargestFloat = 1000.0;
// A structure a longer frame shows that the channel count does not explain costs its
// log ratio beyond this slack (what uneven material shows by chance).
constexpr double kStructureSlack = 0.1;
// Frames up to this many samples are looked at for structure: 8 channels of a narrower
// width read as a wider one span up to 24 samples of the reading.
constexpr int kLongestStructure = 24;
// Under this asymmetry a longer frame adds nothing to a shorter one whose reading is a
// time series (second differences smaller than first ones, by kTimeSeriesCurve): the
// longer frame's smoothness then comes from the sound repeating itself (a steady tone whose
// period is near a whole number of frames), not from channels, and it may score no better
// than the shorter. Different channels read as one alternate instead, and their second
// differences are as large as the first or larger. The shorter reading may be of another
// width, when the longer frame holds a whole number of its frames: the tone's 5 slow
// "channels" read as well in 32-bit samples as in 16-bit ones.
constexpr double kNoStructure = 0.05;
constexpr double kTimeSeriesCurve = 0.8;
// A tone too high for its reading to be a time series (above 0.28 of the rate) explains a
// longer frame too when every channel of the reading is one sine to within this share: a loud
// 16-bit tone leaves 1e-9, one 50 dB down or in 8 bits 4e-5, while readings of natural
// sound that are no time series leave 0.006 or more.
constexpr double kPureTone = 1e-4;
// A byte ranked more significant that changes more than the next one costs the log ratio
// beyond this slack (two bytes both near random differ by chance).
constexpr double kByteOrderSlack = 0.05;

struct Reading {
    double score = 0;
    bool timeSeries = false;  // second differences smaller than first ones, by kTimeSeriesCurve
    bool pureTone = false;    // no time series, but every channel one sine to within kPureTone
    bool scored = false;
};

bool plausibleFloats(const SignalStatistics& statistics)
{
    return statistics.finite() && statistics.peak() <= kLargestFloat &&
           static_cast<double>(statistics.tinyValues()) <= 0.001 * static_cast<double>(statistics.samples());
}

// Twice the log ratio of the largest to the smallest sum of difference sizes at the
// positions of a frame of `period` samples when `channels` samples make a frame (period a multiple of
// channels). Zero in expectation when the signal has no structure over the longer frame;
// large when it has: two identical channels read as one make every other difference zero.
double asymmetry(const SignalStatistics& statistics, int channels, int period)
{
    double lowest = 0;
    double highest = 0;
    double total = 0;
    for (int from = 0; from < period; from += channels) {
        const double energy = statistics.firstDifferencesAt(channels, period, from, from + channels);
        lowest = from == 0 ? energy : std::min(lowest, energy);
        highest = std::max(highest, energy);
        total += energy;
    }
    const double floor = 1e-3 * total / (period / channels) + 1e-300;
    // Squared, as the sums are of sizes and the scale of the other scores is of energies.
    return 2 * std::log((highest + floor) / (lowest + floor));
}

// A channel count too small for the signal shows structure over a longer frame.
double structurePenalty(const SignalStatistics& statistics, int channels)
{
    double penalty = 0;
    for (int period = 2 * channels; period <= kLongestStructure; period += channels) {
        if (kPhases % static_cast<std::size_t>(period) != 0) {
            continue;
        }
        penalty = std::max(penalty, asymmetry(statistics, channels, period) - kStructureSlack);
    }
    return penalty;
}

double byteOrderPenalty(const ByteChangeStatistics& changes, const SampleLayout& layout, int channels)
{
    double penalty = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double moreSignificant = -1;
        for (int rank = 0; rank < layout.bytes; ++rank) {
            const int slot = layout.byteOrder == ByteOrder::kBig ? rank : layout.bytes - 1 - rank;
            if (changes.constant(channels, channel, slot)) {
                continue;
            }
            const double change = changes.meanChange(channels, channel, slot);
            if (moreSignificant >= 0) {
                penalty += std::max(0.0, std::log((moreSignificant + 0.5) / (change + 0.5)) - kByteOrderSlack);
            }
            moreSignificant = change;
        }
    }
    return penalty / channels;
}

bool silentReading(const SampleLayout& layout, const SignalStatistics& statistics)
{
    if (!statistics.finite() || statistics.samples() == 0) {
        return false;
    }
    for (int channels = 1; channels <= kMaxChannels; ++channels) {
        if (statistics.spread(channels) == 0) {
            return true;  // a constant (per channel) carries no sound
        }
    }
    if (layout.encoding == Encoding::kFloat) {
        return statistics.tinyValues() == 0 && statistics.peak() <= kSilentPeak;
    }
    if (layout.encoding == Encoding::kUnsigned) {
        return statistics.peak() <= 1.0 / 128.0;
    }
    // A 32-bit reading puts 16-bit sound into its two low bytes, far below any threshold;
    // 32-bit silence reads as 16-bit silence anyway.
    return layout.bytes < 4 && statistics.peak() <= kSilentPeak;
}

}  // namespace

Scores scoreCandidates(const std::vector<std::span<const std::byte>>& windows)
{
    Scores scores;
    std::array<SignalStatistics, kSampleLayouts.size()> signals;
    std::array<ByteChangeStatistics, 3> byteChanges{ByteChangeStatistics(2), ByteChangeStatistics(3),
                                                    ByteChangeStatistics(4)};
    std::vector<double> samples;
    for (std::span<const std::byte> window : windows) {
        scores.bytes += window.size();
        for (std::size_t offset = 0; offset < window.size(); offset += kBlockBytes) {
            const auto block = window.subspan(offset, std::min(kBlockBytes, window.size() - offset));
            for (std::size_t i = 0; i < kSampleLayouts.size(); ++i) {
                decodeSamples(kSampleLayouts[i], block, samples);
                signals[i].add(samples);
            }
            for (auto& changes : byteChanges) {
                changes.add(block);
            }
        }
    }

    for (std::size_t i = 0; i < kSampleLayouts.size(); ++i) {
        scores.silent = scores.silent || silentReading(kSampleLayouts[i], signals[i]);
    }

    std::array<Reading, kSampleLayouts.size() * kMaxChannels> readings{};
    for (std::size_t i = 0; i < kSampleLayouts.size(); ++i) {
        const SampleLayout& layout = kSampleLayouts[i];
        const SignalStatistics& statistics = signals[i];
        if (layout.encoding == Encoding::kFloat && !plausibleFloats(statistics)) {
            continue;
        }
        for (int channels = 1; channels <= kMaxChannels; ++channels) {
            const double spread = statistics.spread(channels);
            if (!(spread > 0) || !std::isfinite(spread)) {
                continue;
            }
            // Mean difference size squared over the variance, channel by channel, scaled so
            // that white noise gives 1 (a Gaussian difference of variance v has a mean size of
            // sqrt(2v/pi)). A constant channel weighs nothing.
            const double firstOrder = statistics.differenceSizes(channels, 1) * std::numbers::pi / (4 * spread);
            const double secondOrder = statistics.differenceSizes(channels, 2) * std::numbers::pi / (12 * spread);
            double value = -std::log(std::max(std::min(firstOrder, secondOrder), 1e-12));
            value -= structurePenalty(statistics, channels);
            if (layout.bytes > 1 && layout.encoding == Encoding::kSigned) {
                value -= byteOrderPenalty(byteChanges[static_cast<std::size_t>(layout.bytes - 2)], layout, channels);
            }
            const bool timeSeries = secondOrder < kTimeSeriesCurve * firstOrder;
            readings[i * kMaxChannels + static_cast<std::size_t>(channels - 1)] = {
                value, timeSeries, !timeSeries && statistics.unlikeASine(channels) < kPureTone, true};
        }
    }
    for (std::size_t i = 0; i < readings.size(); ++i) {
        if (!readings[i].scored) {
            continue;
        }
        const SampleLayout& layout = kSampleLayouts[i / kMaxChannels];
        const int channels = static_cast<int>(i % kMaxChannels) + 1;
        const int frameBytes = layout.bytes * channels;
        double value = readings[i].score;
        for (std::size_t j = 0; j < readings.size(); ++j) {
            const SampleLayout& shorter = kSampleLayouts[j / kMaxChannels];
            const int shorterChannels = static_cast<int>(j % kMaxChannels) + 1;
            const int shorterBytes = shorter.bytes * shorterChannels;
            if (!readings[j].scored || shorterBytes >= frameBytes || frameBytes % shorterBytes != 0) {
                continue;
            }
            // The longer frame in the shorter reading's samples, or the part of it that the
            // sums kept per position can tell (32-bit 8 channels are 16 samples of 16 bits).
            const int period = std::gcd(frameBytes / shorter.bytes, static_cast<int>(kPhases));
            if (readings[j].pureTone ||
                (readings[j].timeSeries && period > shorterChannels &&
                 asymmetry(signals[j / kMaxChannels], shorterChannels, period) < kNoStructure)) {
                value = std::min(value, readings[j].score);
            }
        }
        scores.ranked.push_back({layout.bytes * 8, layout.encoding, layout.byteOrder, channels, value});
    }
    std::stable_sort(scores.ranked.begin(), scores.ranked.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    return scores;
}

}  // namespace pcmwrap::probe
