// The true-peak meter skips the pieces that cannot raise the peak found so far: its
// result must be the one libebur128 gives metering every sample, also when the largest
// oversampled value lies across the edge of a metered piece.

#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "convert/loudness_meter.h"
#include "platform/little_endian.h"

namespace {

constexpr std::size_t kPieceFrames = 1000;  // the meter sees the data in pieces of this size

struct Signal {
    std::vector<float> samples;  // stereo, interleaved, as the meter decodes them
    std::vector<std::uint8_t> bytes;  // 24-bit little-endian

    void add(float value)
    {
        const auto stored = static_cast<std::int32_t>(std::lround(value * 8388607.0F));
        samples.push_back(static_cast<float>(stored) / 8388608.0F);
        unsigned char raw[4];
        writeLittleEndian32(raw, static_cast<std::uint32_t>(stored));
        bytes.insert(bytes.end(), raw, raw + 3);
    }
};

// Pieces of noise at the given levels; a tone at a quarter of the rate, sampled 45
// degrees off its crests (samples at 0.707 of its true peak 0.9), in the first or the
// last 4 frames of piece `tonePiece`.
Signal piecesWithATone(const std::vector<float>& levels, std::size_t tonePiece, bool atStart)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0F, 1.0F);
    constexpr float kTone[] = {0.636F, 0.636F, -0.636F, -0.636F};
    Signal signal;
    for (std::size_t piece = 0; piece < levels.size(); ++piece) {
        for (std::size_t frame = 0; frame < kPieceFrames; ++frame) {
            const std::size_t fromEdge = atStart ? frame : kPieceFrames - 1 - frame;
            const bool tone = piece == tonePiece && fromEdge < 4;
            for (int channel = 0; channel < 2; ++channel) {
                signal.add(tone ? kTone[atStart ? frame : 3 - fromEdge] : unit(random) * levels[piece]);
            }
        }
    }
    return signal;
}

double meteredInPieces(const Signal& signal)
{
    WAVEFORMATEX format{};
    format.wFormatTag = 1;
    format.nChannels = 2;
    format.nSamplesPerSec = 48000;
    format.nBlockAlign = 6;
    format.wBitsPerSample = 24;
    TruePeakMeter meter(format, 0, 1);
    for (std::size_t at = 0; at < signal.bytes.size(); at += kPieceFrames * 6) {
        meter.add(signal.bytes.data() + at, std::min(kPieceFrames * 6, signal.bytes.size() - at));
    }
    return meter.peak();
}

double meteredWhole(const Signal& signal)
{
    ebur128_state* everything = ebur128_init(2, 48000, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(everything, signal.samples.data(), signal.samples.size() / 2);
    double left = 0;
    double right = 0;
    ebur128_true_peak(everything, 0, &left);
    ebur128_true_peak(everything, 1, &right);
    ebur128_destroy(&everything);
    return std::max(left, right);
}

// A loud piece first, so the quiet ones after it are skipped; the tone's crest lies
// between the samples at the edge of a piece metered after skipped ones (its history
// matters) or before them (the frames after it must still be metered).
TEST(TruePeakMeter, ThePeakAcrossTheEdgeOfAMeteredPieceIsFound)
{
    const std::vector<float> levels = {0.5F, 0.01F, 0.01F, 0.01F, 0.01F, 0.01F, 0.01F};
    for (const bool atStart : {true, false}) {
        const Signal signal = piecesWithATone(levels, 4, atStart);
        const double whole = meteredWhole(signal);
        EXPECT_GT(whole, 0.85);  // the tone's crest, not its samples
        EXPECT_DOUBLE_EQ(meteredInPieces(signal), whole) << (atStart ? "at the start" : "at the end");
    }
}

TEST(TruePeakMeter, SkippingQuietPiecesOfRandomLevelsGivesThePeakOfMeteringEverything)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> decibels(-40.0F, 0.0F);
    std::vector<float> levels;
    for (int i = 0; i < 200; ++i) {
        levels.push_back(std::pow(10.0F, decibels(random) / 20.0F));
    }
    const Signal signal = piecesWithATone(levels, 150, false);
    EXPECT_DOUBLE_EQ(meteredInPieces(signal), meteredWhole(signal));
}

}  // namespace

namespace {

// The largest momentary and short-term loudness as libebur128 gives them read every
// 100 ms, for noise whose level changes every 700 ms over 12 s.
TEST(GatedLoudnessMeter, ReadingsFromBlocksEqualLibebur128sWindows)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1.0F, 1.0F);
    std::uniform_real_distribution<float> level(0.0F, 0.9F);
    Signal signal;
    constexpr std::size_t kFrames = 48000 * 12;
    float now = 0;
    for (std::size_t frame = 0; frame < kFrames; ++frame) {
        if (frame % 33600 == 0) {
            now = frame < 48000 * 4 ? 0.0F : level(random);  // silence first: -inf blocks
        }
        signal.add(unit(random) * now);
        signal.add(unit(random) * now * 0.5F);
    }
    ebur128_state* reference = ebur128_init(2, 48000, EBUR128_MODE_S);
    double momentary = -INFINITY;
    double shortTerm = -INFINITY;
    for (std::size_t frame = 0; frame < kFrames; frame += 4800) {
        ebur128_add_frames_float(reference, signal.samples.data() + frame * 2, 4800);
        double value = 0;
        ebur128_loudness_momentary(reference, &value);
        momentary = std::max(momentary, value);
        ebur128_loudness_shortterm(reference, &value);
        shortTerm = std::max(shortTerm, value);
    }
    ebur128_destroy(&reference);

    WAVEFORMATEX format{};
    format.wFormatTag = 1;
    format.nChannels = 2;
    format.nSamplesPerSec = 48000;
    format.nBlockAlign = 6;
    format.wBitsPerSample = 24;
    GatedLoudnessMeter meter(format);
    for (std::size_t at = 0; at < signal.bytes.size(); at += 6 * 1237) {
        meter.add(signal.bytes.data() + at, std::min<std::size_t>(6 * 1237, signal.bytes.size() - at));
    }
    LoudnessValues values;
    meter.fill(&values);
    EXPECT_NEAR(values.maxMomentary, momentary, 1e-9);
    EXPECT_NEAR(values.maxShortTerm, shortTerm, 1e-9);
}

}  // namespace
