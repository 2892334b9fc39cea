#include "probe/candidate_scores.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <optional>

#include "probe/byte_change_statistics.h"
#include "probe/sample_layouts.h"
#include "probe/signal_statistics.h"

namespace pcmwrap::probe {
namespace {

// Samples are decoded a block at a time, so memory stays small for a large window.
constexpr std::size_t kBlockBytes = 104 * kFrameAlignment;
// At most this far below full scale (4 steps of a 16-bit sample) a dump counts as silent.
constexpr double kSilentPeak = 4.0 / 32768.0;
// A float reading is plausible only when hardly any value is wild (see kLargestValue) or
// vanishingly small: integer samples read as floats give many. A few are allowed: a stray
// header before the samples may hold a NaN.
constexpr std::size_t kOddFloatsAllowed = 4;
constexpr double kOddFloatShare = 0.001;
// An integer reading with fewer samples than this share within 1/8 of full scale of zero
// is offset-binary bytes read as signed (8-bit unsigned samples read as signed ones, or as
// wider ones: a near square wave), or signed bytes read as unsigned; clipped masters still
// hold 13 % or more there.
constexpr double kNearZeroShare = 0.02;
// How far a reading must fall behind the one that explains the same bytes better: float
// over the integer reading of the same width and byte order, a wider sample over the
// narrower one whose every other channel is padding. More than the margin, so the
// better one is told.
constexpr double kOutranked = 1.0;
// A dump holds whole samples: a reading from the first byte that leaves part of one at the
// end of a dump of known size falls behind by the margin. This alone parts a 16-bit
// reading from the reading of the opposite byte order one byte later, whose high bytes are
// the same and whose low bytes are the neighbour's: in loud sound the two differ in the
// noise of the low byte only. When the dump was cut mid-sample, the tie stays unclear
// rather than wrong.
constexpr double kPartialSample = kMinimumMargin;
// A structure a longer frame shows that the channel count does not explain costs its
// log ratio beyond this slack (what uneven material shows by chance).
constexpr double kStructureSlack = 0.1;
// Sums of difference sizes kept by position differ by chance, the more the fewer samples
// each sums: in 8 KiB dumps of natural sound, by up to about this many times the square
// root of the positions over the samples, in log ratio. The structure of neighbouring
// samples (neighbourPenalty) is asked of every position of a frame, not of whole frames,
// and needs this slack besides.
constexpr double kChanceSpread = 12.0;
// Under this asymmetry a longer frame adds nothing to a shorter one whose reading is a
// time series (second differences small beside first ones, Reading::timeSeries): the
// longer frame's smoothness then comes from the sound repeating itself (a steady tone whose
// period is near a whole number of frames, or slow sound), not from channels, and it falls
// behind the shorter (kNothingAdded). Different channels read as one alternate instead,
// and their second differences are as large as the first or larger. The shorter reading
// may be of another width, when the longer frame holds a whole number of its frames: the
// tone's 5 slow "channels" read as well in 32-bit samples as in 16-bit ones.
constexpr double kNoStructure = 0.05;
constexpr double kTimeSeriesCurve = 0.8;
// A reading whose first differences are this far below its spread (normalised as
// scoreReading() does: 1 for white noise) is a time series too, when its second differences
// are under kSmoothCurve times its first: slow sound under dither or a noise floor, whose
// differences the noise sets (the second as large as the first), or quantised to coarse
// steps without dither, each step showing in two second differences (up to 4/3 of the
// first). Different channels read as one alternate, which alone gives 4/3 too; but such a
// reading is seldom smooth, and when it is (channels nearly alike), it shows structure
// over the longer frame, which the rules that ask for a time series ask for too.
constexpr double kSmoothReading = 0.1;
constexpr double kSmoothCurve = 1.3;
// A longer frame that adds nothing to a shorter reading (its time series shows no
// structure over the longer frame) falls this far behind it, so that the shorter is told
// rather than left unclear: the sound shows no more channels than it has. By the margin,
// as any reading that explains the same bytes less well. In a dump that some reading
// tells as a steady tone, only behind a smooth reading: there every reading of a high
// tone is rough and the truth may score lowest (a stereo tone near a third of the rate,
// its channels a radian apart, reads as a slower mono tone), so the longer only scores
// no better, and a tie stays unclear.
constexpr double kNothingAdded = kMinimumMargin;
// Levels at the positions of a longer frame this far apart (log ratio) are still one level.
constexpr double kLevelSlack = 0.5;
// A tone too high for its reading to be a time series (above 0.28 of the rate) explains a
// longer frame too when every channel of the reading is one sine to within this share: a loud
// 16-bit tone leaves 1e-9, one 50 dB down or in 8 bits 4e-5, while readings of natural
// sound that are no time series leave 0.006 or more.
constexpr double kPureTone = 1e-4;
// A byte ranked more significant that changes more than the next one costs the log ratio
// beyond this slack (two bytes both near random differ by chance).
constexpr double kByteOrderSlack = 0.05;
// Where the byte above changed by 2 or more, a byte changes at random: by 64 on average,
// and by less than this share of it costs twice the log ratio (a ratio of sizes, the scores
// one of energies). Asked only of this many such frames at least. Several 8-bit channels
// read as one wider sample hide rough channels under a smooth one in its high byte, and
// their low bytes change no more when the high byte does.
constexpr double kChangeAfterMove = 40.0;
constexpr double kMovesNeeded = 32.0;
// A byte read as an 8-bit sample wraps when its mean step, decoded, is this many times its
// mean change modulo 256 (see sixteenBitPairs()): 1 for 8-bit sound, 1.3 for random bytes
// (the low bytes of loud 16-bit sound), 10 and more for the low bytes of quieter sound.
constexpr double kWrappedSteps = 1.2;
// The high byte of a quiet 16-bit sample read as an 8-bit channel moves by at most this
// much from frame to frame on average: between 0 and -1 with the sign, now and then 1 or
// -2.
constexpr double kStillHighByte = 1.0;

// One way of reading the bytes: a sample layout, starting some stray bytes in.
struct ReadingLayout {
    SampleLayout layout;
    int offset = 0;
};

struct Reading {
    double score = 0;
    bool timeSeries = false;  // second differences small beside first ones (kTimeSeriesCurve, kSmoothCurve)
    bool pureTone = false;    // no time series, but every channel one sine to within kPureTone
    bool scored = false;
    bool smooth = false;      // first differences under kSmoothReading
};

bool plausibleFloats(const SignalStatistics& statistics)
{
    const auto samples = static_cast<double>(statistics.samples());
    const auto odd = static_cast<double>(statistics.wildValues() + statistics.tinyValues());
    return odd <= static_cast<double>(kOddFloatsAllowed) + kOddFloatShare * samples;
}

// The ratio of the largest to the smallest of the sums, each raised by a floor (a
// thousandth of their mean) so that sums of nothing do not make it infinite.
double sizeRatio(std::span<const double> sums)
{
    const double lowest = *std::min_element(sums.begin(), sums.end());
    const double highest = *std::max_element(sums.begin(), sums.end());
    const double total = std::accumulate(sums.begin(), sums.end(), 0.0);
    const double floor = 1e-3 * total / static_cast<double>(sums.size()) + 1e-300;
    return (highest + floor) / (lowest + floor);
}

// Twice the log ratio of the largest to the smallest of the sums: squared, as the sums are
// of sizes and the scale of the other scores is of energies.
double logRatio(std::span<const double> sums)
{
    return 2 * std::log(sizeRatio(sums));
}

// Twice the log ratio of the largest to the smallest sum of difference sizes at the
// positions of a frame of `period` samples when `channels` samples make a frame (period a multiple of
// channels). Zero in expectation when the signal has no structure over the longer frame;
// large when it has: two identical channels read as one make every other difference zero.
double asymmetry(const SignalStatistics& statistics, int channels, int period)
{
    const auto energies = statistics.firstDifferencesByPosition(channels, period);
    return logRatio(std::span(energies).first(static_cast<std::size_t>(period / channels)));
}

// How unequal the variances at the positions of a frame of `period` samples are, as the log
// of their ratio less kLevelSlack, 0 at most. A steady tone read with a longer frame has
// one level at every position; different channels read as one seldom do (bright sound in
// two channels read as one makes second differences smaller than first ones, as a tone
// does).
double unevenLevels(const SignalStatistics& statistics, int channels, int period)
{
    const auto variances = statistics.varianceByPosition(channels, period);
    const auto used = std::span(variances).first(static_cast<std::size_t>(period / channels));
    const double lowest = *std::min_element(used.begin(), used.end());
    const double highest = *std::max_element(used.begin(), used.end());
    return highest > 0 ? std::max(0.0, std::log((highest + 1e-300) / (lowest + 1e-300)) - kLevelSlack) : 0;
}

// Sums kept by position, folded to 120 and 168 positions, which every frame up to
// kLongestPeriod samples that divides kPhases divides: a frame then costs a fraction of a
// pass over kPhases.
class FoldedSums {
public:
    explicit FoldedSums(std::span<const double> sums)
    {
        foldOnto(sums, by120_);
        foldOnto(sums, by168_);
    }
    // The sums folded onto a frame of `period` samples.
    std::array<double, kLongestPeriod> frame(int period) const
    {
        std::array<double, kLongestPeriod> folded{};
        const std::span<const double> source =
            120 % period == 0 ? std::span<const double>(by120_) : std::span<const double>(by168_);
        foldOnto(source, std::span(folded).first(static_cast<std::size_t>(period)));
        return folded;
    }

private:
    std::array<double, 120> by120_{};
    std::array<double, 168> by168_{};
};

// The longer frames looked at for structure: every multiple of the channel count up to
// kLongestPeriod samples that divides kPhases.
bool longerFrame(int period)
{
    return period <= kLongestPeriod && kPhases % static_cast<std::size_t>(period) == 0;
}

// A channel count too small for the signal shows structure over a longer frame: what
// asymmetry() tells, for every longer frame.
double structurePenalty(const SignalStatistics& statistics, int channels)
{
    const FoldedSums differences(statistics.firstDifferences(channels));
    double penalty = 0;
    for (int period = 2 * channels; period <= kLongestPeriod; period += channels) {
        if (!longerFrame(period)) {
            continue;
        }
        const auto frame = differences.frame(period);
        const auto groups =
            groupedBy(std::span(frame).first(static_cast<std::size_t>(period)), static_cast<std::size_t>(channels));
        const double value = logRatio(std::span(groups).first(static_cast<std::size_t>(period / channels)));
        penalty = std::max(penalty, value - kStructureSlack);
    }
    return penalty;
}

// A frame of the wrong size mixes channels. The differences between neighbouring samples
// (one channel to the next, a frame's last channel to the next frame's first) repeat with
// the true frame; when it does not divide the reading's, a position of the reading's frame
// holds other neighbours in other frames. Near-mono stereo read as 3 channels: the small
// same-time step from left to right falls at one position in one frame, and a step in time
// at that position in the next. Under a noise floor, which sets the differences, such a
// reading is as smooth as the truth, and its frames show no structure as wholes. Costs the
// log ratio of the sums at each position over the frames of a longer frame, averaged over
// the channels, beyond kStructureSlack and chance (kChanceSpread).
// `neighbours` holds the reading's first differences with one channel, folded.
double neighbourPenalty(const SignalStatistics& statistics, const FoldedSums& neighbours, int channels)
{
    if (channels == 1) {
        return 0;  // structurePenalty() asks the same of one channel
    }
    const double samples = static_cast<double>(statistics.samples()) + 1;
    double penalty = 0;
    for (int period = 2 * channels; period <= kLongestPeriod; period += channels) {
        if (!longerFrame(period)) {
            continue;
        }
        const auto frame = neighbours.frame(period);
        const int frames = period / channels;
        // The mean of the channels' log ratios, as the log of their product: one log a period.
        double product = 1;
        for (int channel = 0; channel < channels; ++channel) {
            std::array<double, kLongestPeriod> position{};
            for (int k = 0; k < frames; ++k) {
                position[static_cast<std::size_t>(k)] = frame[static_cast<std::size_t>(channel + k * channels)];
            }
            product *= sizeRatio(std::span(position).first(static_cast<std::size_t>(frames)));
        }
        const double chance = kStructureSlack + kChanceSpread * std::sqrt(period / samples);
        penalty = std::max(penalty, 2 * std::log(product) / channels - chance);
    }
    return penalty;
}

double byteOrderPenalty(const ByteChangeStatistics& changes, const ReadingLayout& reading, int channels)
{
    const SampleLayout& layout = reading.layout;
    double penalty = 0;
    for (int channel = 0; channel < channels; ++channel) {
        double moreSignificant = -1;
        for (int rank = 0; rank < layout.bytes; ++rank) {
            const int slot = layout.byteOrder == ByteOrder::kBig ? rank : layout.bytes - 1 - rank;
            if (changes.constant(channels, channel, slot, reading.offset)) {
                continue;
            }
            const double change = changes.meanChange(channels, channel, slot, reading.offset);
            double moves = 0;
            const double afterMove = changes.changeAfterUpperMoved(channels, channel, slot, reading.offset, layout.byteOrder, moves);
            if (moreSignificant >= 0 && moves >= kMovesNeeded) {
                penalty += std::max(0.0, 2 * std::log((kChangeAfterMove + 0.5) / (afterMove + 0.5)));
            }
            if (moreSignificant >= 0) {
                penalty += std::max(0.0, std::log((moreSignificant + 0.5) / (change + 0.5)) - kByteOrderSlack);
            }
            moreSignificant = change;
        }
    }
    return penalty / channels;
}

// The readings weighed: every layout from the first byte, and each wider one also after the
// stray bytes that leave whole samples to the end of a dump of known size. Other offsets
// would leave part of a sample at the end, which a dump of whole samples after a few stray
// bytes does not; and weighing every offset would cost up to three times the time.
std::vector<ReadingLayout> readingLayouts(std::uint64_t dumpBytes)
{
    std::vector<ReadingLayout> readings;
    for (const SampleLayout& layout : kSampleLayouts) {
        readings.push_back({layout, 0});
    }
    for (const SampleLayout& layout : kSampleLayouts) {
        const auto stray = static_cast<int>(dumpBytes % static_cast<std::uint64_t>(layout.bytes));
        if (stray != 0) {
            readings.push_back({layout, stray});
        }
    }
    return readings;
}

// Whether the reading can be sound at all: floats that are plausible, integers with
// samples near zero (kNearZeroShare).
bool weighable(const SampleLayout& layout, const SignalStatistics& statistics)
{
    if (layout.encoding == Encoding::kFloat) {
        return plausibleFloats(statistics);
    }
    return static_cast<double>(statistics.nearZeroValues()) >= kNearZeroShare * static_cast<double>(statistics.samples());
}

bool silentReading(const SampleLayout& layout, const SignalStatistics& statistics)
{
    // Vanishing values (integers read as floats) are no silence, however small.
    if (statistics.wildValues() > 0 || statistics.samples() == 0 ||
        (layout.encoding == Encoding::kFloat && !plausibleFloats(statistics))) {
        return false;
    }
    for (int channels = 1; channels <= kMaxChannels; ++channels) {
        if (statistics.spread(channels) == 0) {
            return true;  // a constant (per channel) carries no sound
        }
    }
    // A 64-bit reading of 32-bit floats is the first of each pair raised to the eighth
    // power or so, far below any threshold: a 64-bit reading is silent only when constant.
    if (layout.encoding == Encoding::kFloat) {
        return layout.bytes == 4 && statistics.tinyValues() == 0 && statistics.peak() <= kSilentPeak;
    }
    if (layout.encoding == Encoding::kUnsigned) {
        return statistics.peak() <= 1.0 / 128.0;
    }
    // A 32-bit reading puts 16-bit sound into its two low bytes, far below any threshold;
    // 32-bit silence reads as 16-bit silence anyway.
    return layout.bytes < 4 && statistics.peak() <= kSilentPeak;
}

// The smoothness of a reading with that many channels, less its penalties; nothing when
// the reading is no sound at all. `neighbours` as neighbourPenalty() takes them.
std::optional<Reading> scoreReading(const ReadingLayout& reading, const SignalStatistics& statistics,
                                    const FoldedSums& neighbours, const ByteChangeStatistics* changes, int channels)
{
    const SignalStatistics::Summary summary = statistics.summary(channels);
    const double spread = summary.spread;
    if (!(spread > 0) || !std::isfinite(spread)) {
        return std::nullopt;
    }
    // Each channel's prediction error over its variance (white noise gives 1), its log
    // averaged over the channels with equal weight. A constant channel weighs nothing.
    double logs = 0;
    int active = 0;
    for (double error : summary.errors) {
        if (error > 0) {
            logs -= std::log(error);
            ++active;
        }
    }
    if (active == 0) {
        return std::nullopt;
    }
    double value = logs / active;
    value -= structurePenalty(statistics, channels) + neighbourPenalty(statistics, neighbours, channels);
    if (changes != nullptr) {
        value -= byteOrderPenalty(*changes, reading, channels);
    }
    // Mean difference size squared over the variance, scaled so that white noise gives 1
    // (a Gaussian difference of variance v has a mean size of sqrt(2v/pi)).
    const double firstOrder = summary.firstSizes * std::numbers::pi / (4 * spread);
    const double secondOrder = summary.secondSizes * std::numbers::pi / (12 * spread);
    const bool smooth = firstOrder < kSmoothReading;
    const bool timeSeries =
        secondOrder < kTimeSeriesCurve * firstOrder || (smooth && secondOrder < kSmoothCurve * firstOrder);
    return Reading{value, timeSeries, !timeSeries && statistics.unlikeASine(channels) < kPureTone, true, smooth};
}

// Whether every other channel of the reading never changes (the even ones or the odd
// ones), the others not: what 16-bit samples in 32-bit words give read as 16-bit.
bool everyOtherChannelPadding(const ByteChangeStatistics& changes, const ReadingLayout& reading, int channels)
{
    if (channels % 2 != 0) {
        return false;
    }
    const auto still = [&](int channel) {
        for (int slot = 0; slot < reading.layout.bytes; ++slot) {
            if (!changes.constant(channels, channel, slot, reading.offset)) {
                return false;
            }
        }
        return true;
    };
    for (int first : {0, 1}) {
        bool padding = true;
        bool sound = false;
        for (int channel = 0; channel < channels; ++channel) {
            if (channel % 2 == first) {
                padding = padding && still(channel);
            } else {
                sound = sound || !still(channel);
            }
        }
        if (padding && sound) {
            return true;
        }
    }
    return false;
}

// Whether the channels of an 8-bit reading pair up as the bytes of 16-bit samples, the
// high byte first (big-endian) or second (little-endian). Read as 8-bit, the high bytes
// make channels of slow steps, smoother than any sound, and each channel weighs the same
// however rough its neighbour. Either every high byte only ever holds 0 and -1 (0x00 and
// 0xFF: quiet samples) and some low byte more; or the low byte of some pair wraps and
// every pair is a sample: its high byte does not wrap, and its low byte wraps or its high
// byte barely moves (kStillHighByte) or holds only signs. A byte wraps when its decoded
// steps outgrow its changes modulo 256 (kWrappedSteps): a low byte read as an 8-bit
// sample jumps by 255 whenever the 16-bit sample passes 128 (signed) or 0 (unsigned)
// modulo 256, while a byte of 8-bit sound jumps so only by clipping over. The 16-bit
// reading's byte order, or nothing.
std::optional<ByteOrder> sixteenBitPairs(const ByteChangeStatistics& changes, const SignalStatistics& statistics,
                                         int channels)
{
    if (channels % 2 != 0) {
        return std::nullopt;
    }
    const auto steps = statistics.summary(channels).steps;
    const auto decodedStep = [&](int pair, int slot) { return 128 * steps[static_cast<std::size_t>(2 * pair + slot)]; };
    const auto wraps = [&](int pair, int slot) {
        return decodedStep(pair, slot) > kWrappedSteps * changes.meanChange(channels / 2, pair, slot);
    };
    for (int high : {0, 1}) {
        const int low = 1 - high;
        bool signs = true;
        bool sound = false;
        bool samples = true;
        bool wrapped = false;
        for (int pair = 0; pair < channels / 2; ++pair) {
            const bool sign = changes.signBytes(channels / 2, pair, high);
            signs = signs && sign;
            sound = sound || !changes.signBytes(channels / 2, pair, low);
            const bool lowWraps = wraps(pair, low) && !wraps(pair, high);
            samples = samples && (sign || (!wraps(pair, high) && (lowWraps || decodedStep(pair, high) <= kStillHighByte)));
            wrapped = wrapped || lowWraps;
        }
        if ((signs && sound) || (samples && wrapped)) {
            return high == 0 ? ByteOrder::kBig : ByteOrder::kLittle;
        }
    }
    return std::nullopt;
}

}  // namespace

Scores scoreCandidates(const std::vector<std::span<const std::byte>>& windows, std::uint64_t dumpBytes)
{
    Scores scores;
    std::array<ByteChangeStatistics, 3> byteChanges{ByteChangeStatistics(2), ByteChangeStatistics(3),
                                                    ByteChangeStatistics(4)};
    for (std::span<const std::byte> window : windows) {
        scores.bytes += window.size();
        for (std::size_t offset = 0; offset < window.size(); offset += kBlockBytes) {
            const auto block = window.subspan(offset, std::min(kBlockBytes, window.size() - offset));
            for (auto& changes : byteChanges) {
                changes.add(block);
            }
        }
    }
    for (auto& changes : byteChanges) {
        changes.finish();
    }
    const std::vector<ReadingLayout> layouts = readingLayouts(dumpBytes);
    std::vector<SignalStatistics> signals(layouts.size());
    std::vector<double> samples;
    // Every reading's levels first; only the readings they leave in are weighed further
    // (most float readings of integer samples, and signed readings of unsigned ones, are not).
    const auto decodeAll = [&](const std::vector<bool>& wanted, auto&& addTo) {
        for (std::span<const std::byte> window : windows) {
            for (std::size_t offset = 0; offset < window.size(); offset += kBlockBytes) {
                const auto block = window.subspan(offset, std::min(kBlockBytes, window.size() - offset));
                for (std::size_t i = 0; i < layouts.size(); ++i) {
                    const auto start = static_cast<std::size_t>(layouts[i].offset);
                    if (wanted[i] && block.size() > start) {
                        decodeSamples(layouts[i].layout, block.subspan(start), samples);
                        addTo(signals[i], samples);
                    }
                }
            }
        }
    };
    decodeAll(std::vector<bool>(layouts.size(), true),
              [](SignalStatistics& statistics, std::span<const double> values) { statistics.addLevels(values); });
    std::vector<bool> weighed(layouts.size());
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        weighed[i] = weighable(layouts[i].layout, signals[i]);
    }
    decodeAll(weighed, [](SignalStatistics& statistics, std::span<const double> values) { statistics.addShape(values); });

    for (std::size_t i = 0; i < layouts.size(); ++i) {
        scores.silent = scores.silent || (layouts[i].offset == 0 && silentReading(layouts[i].layout, signals[i]));
    }

    const auto changesOf = [&](const SampleLayout& layout) -> const ByteChangeStatistics& {
        return byteChanges[static_cast<std::size_t>(layout.bytes - 2)];
    };
    const auto at = [](std::size_t reading, int channels) {
        return reading * kMaxChannels + static_cast<std::size_t>(channels - 1);
    };
    std::vector<Reading> readings(layouts.size() * kMaxChannels);
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const SampleLayout& layout = layouts[i].layout;
        const SignalStatistics& statistics = signals[i];
        if (!weighed[i]) {
            continue;
        }
        const bool integer = layout.bytes > 1 && layout.encoding == Encoding::kSigned;
        const FoldedSums neighbours(statistics.firstDifferences(1));
        for (int channels = 1; channels <= kMaxChannels; ++channels) {
            // Channel by channel too for 8-bit readings: the high bytes of wider signed
            // samples read as 8-bit unsigned channels are near square waves beside channels
            // of low bytes, which have samples near zero by chance.
            if (layout.bytes == 1 && statistics.leastNearZeroShare(channels) < kNearZeroShare) {
                continue;
            }
            const ByteChangeStatistics* changes = integer ? &changesOf(layout) : nullptr;
            if (const auto reading = scoreReading(layouts[i], statistics, neighbours, changes, channels)) {
                readings[at(i, channels)] = *reading;
            }
        }
    }

    // The asymmetry of shorter readings over a longer frame, by reading and period: asked
    // for by many longer readings.
    std::vector<std::array<double, kLongestFrame + 1>> asymmetries(readings.size());
    for (auto& row : asymmetries) {
        row.fill(-1);
    }
    std::vector<double> values(readings.size());
    const bool steadyTone =
        std::any_of(readings.begin(), readings.end(), [](const Reading& r) { return r.scored && r.pureTone; });
    for (std::size_t i = 0; i < readings.size(); ++i) {
        values[i] = readings[i].score;
        if (!readings[i].scored) {
            continue;
        }
        const ReadingLayout& reading = layouts[i / kMaxChannels];
        const int channels = static_cast<int>(i % kMaxChannels) + 1;
        const int frameBytes = reading.layout.bytes * channels;
        for (std::size_t j = 0; j < readings.size(); ++j) {
            const SampleLayout& shorter = layouts[j / kMaxChannels].layout;
            const int shorterChannels = static_cast<int>(j % kMaxChannels) + 1;
            const int shorterBytes = shorter.bytes * shorterChannels;
            if (!readings[j].scored || shorterBytes >= frameBytes || frameBytes % shorterBytes != 0) {
                continue;
            }
            // The longer frame in the shorter reading's samples, or the part of it that the
            // sums kept per position can tell (32-bit 8 channels are 16 samples of 16 bits).
            const int period = std::gcd(frameBytes / shorter.bytes, static_cast<int>(kPhases));
            double& known = asymmetries[j][static_cast<std::size_t>(period)];
            if (!readings[j].pureTone && readings[j].timeSeries && period > shorterChannels && known < 0) {
                const SignalStatistics& statistics = signals[j / kMaxChannels];
                known = std::max(asymmetry(statistics, shorterChannels, period),
                                 unevenLevels(statistics, shorterChannels, period));
            }
            if (readings[j].pureTone || (readings[j].timeSeries && period > shorterChannels && known < kNoStructure)) {
                const bool behind = readings[j].smooth || !steadyTone;
                values[i] = std::min(values[i], readings[j].score - (behind ? kNothingAdded : 0));
            }
        }
    }
    // Readings that explain the same bytes less well than another fall behind it.
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const ReadingLayout& reading = layouts[i];
        if (reading.layout.bytes == 1) {
            // 16-bit samples over 8-bit ones whose channels pair up as their bytes.
            for (int channels = 2; channels <= kMaxChannels; channels += 2) {
                const auto order = sixteenBitPairs(byteChanges[0], signals[i], channels);
                const std::size_t mine = at(i, channels);
                if (!order || !readings[mine].scored) {
                    continue;
                }
                for (std::size_t j = 0; j < layouts.size(); ++j) {
                    const SampleLayout& wider = layouts[j].layout;
                    if (wider.bytes == 2 && wider.byteOrder == *order && layouts[j].offset == 0 &&
                        readings[at(j, channels / 2)].scored) {
                        values[mine] = std::min(values[mine], values[at(j, channels / 2)] - kOutranked);
                    }
                }
            }
        }
        if (reading.layout.encoding != Encoding::kSigned) {
            continue;
        }
        for (std::size_t j = 0; j < layouts.size(); ++j) {
            const ReadingLayout& other = layouts[j];
            if (other.layout.byteOrder != reading.layout.byteOrder) {
                continue;
            }
            // Float that is plausible over integers of its width, from the same byte.
            const bool floatOverInteger = reading.layout.bytes == 4 && other.layout.bytes == 4 &&
                                          other.layout.encoding == Encoding::kFloat && other.offset == reading.offset;
            // 32-bit samples over 16-bit ones whose every other channel is padding.
            const bool widerOverPadded = reading.layout.bytes == 2 && other.layout.bytes == 4 &&
                                         other.layout.encoding == Encoding::kSigned &&
                                         other.offset % 2 == reading.offset;
            for (int channels = 1; channels <= kMaxChannels; ++channels) {
                const std::size_t mine = at(i, channels);
                if (!readings[mine].scored) {
                    continue;
                }
                if (floatOverInteger && readings[at(j, channels)].scored) {
                    values[mine] = std::min(values[mine], values[at(j, channels)] - kOutranked);
                }
                if (widerOverPadded && channels % 2 == 0 && readings[at(j, channels / 2)].scored &&
                    everyOtherChannelPadding(changesOf(reading.layout), reading, channels)) {
                    values[mine] = std::min(values[mine], values[at(j, channels / 2)] - kOutranked);
                }
            }
        }
    }
    for (std::size_t i = 0; i < readings.size(); ++i) {
        if (!readings[i].scored) {
            continue;
        }
        const ReadingLayout& reading = layouts[i / kMaxChannels];
        const SampleLayout& layout = reading.layout;
        if (dumpBytes != 0 && (dumpBytes - static_cast<std::uint64_t>(reading.offset)) % static_cast<std::uint64_t>(layout.bytes) != 0) {
            values[i] -= kPartialSample;
        }
        Candidate candidate{layout.bytes * 8, layout.encoding, layout.byteOrder, static_cast<int>(i % kMaxChannels) + 1,
                            values[i], layout.bytes, reading.offset};
        if (layout.bytes == 4 && layout.encoding == Encoding::kSigned && signals[i / kMaxChannels].outside24Bits() == 0) {
            candidate.bits = 24;  // 24 bits in 32-bit words
        }
        scores.ranked.push_back(candidate);
    }
    std::stable_sort(scores.ranked.begin(), scores.ranked.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    return scores;
}

}  // namespace pcmwrap::probe
