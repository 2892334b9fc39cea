#pragma once
// EBU R128 loudness of a file's data bytes, measured by libebur128 as they are written.
// The work is split so that it can run on several threads beside the conversion: one
// meter takes the gated loudness (integrated, range, max momentary and max short-term),
// others the true peak of some of the channels each, the costly part (4 x oversampling).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/wave_format.h"
#include "wavfile/wav_sample_codec.h"

struct LoudnessValues {
    double integrated = 0;  // LUFS
    double range = 0;       // LU
    double truePeak = 0;    // dBTP
    double maxMomentary = 0;
    double maxShortTerm = 0;
};

// Data bytes in file order, turned into whole frames of float samples; a frame may be
// split between two calls.
class FloatFrameFeed {
public:
    explicit FloatFrameFeed(const WAVEFORMATEX& format);
    virtual ~FloatFrameFeed() = default;
    FloatFrameFeed(const FloatFrameFeed&) = delete;
    FloatFrameFeed& operator=(const FloatFrameFeed&) = delete;

    void add(const std::uint8_t* bytes, std::size_t count);

protected:
    // At most kFramesPerPiece frames of all the file's channels, interleaved.
    virtual void consume(const float* samples, std::size_t frames) = 0;
    std::size_t channels() const { return channels_; }
    static constexpr std::size_t kFramesPerPiece = 4096;

private:
    void addFrames(const std::uint8_t* bytes, std::size_t frames);

    pcmwrap::codec::Stored stored_;
    std::size_t channels_;
    std::size_t frameBytes_;
    std::vector<std::uint8_t> partial_;
    std::vector<float> samples_;
};

struct Ebur128State;

// Integrated loudness, loudness range, and the largest momentary and short-term loudness
// taken every 100 ms, as meters show them.
class GatedLoudnessMeter final : public FloatFrameFeed {
public:
    explicit GatedLoudnessMeter(const WAVEFORMATEX& format);  // std::runtime_error when refused
    ~GatedLoudnessMeter() override;
    // Fills all but truePeak.
    void fill(LoudnessValues* values);

private:
    void consume(const float* samples, std::size_t frames) override;

    // The momentary and short-term readings: libebur128 sums its whole 400 ms or 3 s
    // window again for each, which tripled the meter's cost. Where a reading's 100 ms is
    // a whole number of frames, both are made from the last 4 and 30 energies of 100 ms
    // blocks, the same sums taken once.
    void takeReadings();

    std::unique_ptr<Ebur128State> state_;
    std::size_t framesPerReading_;
    std::size_t untilReading_;
    double maxMomentary_;
    double maxShortTerm_;
    bool fromBlocks_;
    std::deque<double> blockEnergies_;  // the last 30, newest last; zeros before the start
};

// The largest true peak of the channels first, first + stride, first + 2 stride, ...
//
// libebur128 oversamples every sample; most of a recording lies well below its peak, where
// no oversampled value can reach the peak found so far. The meter's interpolation is
// measured once (its response to an impulse): no value it makes exceeds `gain` times the
// largest sample within `support` frames of it. A piece whose largest sample times gain
// stays at or below the peak found so far is skipped; the pieces that can raise it are
// metered by a fresh state, which first takes the `support` frames before them (so its
// history is exact) and after them the `support` frames that follow (so every value that
// involves them is made). The result is the one metering everything gives.
class TruePeakMeter final : public FloatFrameFeed {
public:
    TruePeakMeter(const WAVEFORMATEX& format, std::size_t first, std::size_t stride);
    ~TruePeakMeter() override;
    // The largest true peak, linear (1 is full scale).
    double peak();

private:
    void consume(const float* samples, std::size_t frames) override;
    void feed(const float* picked, std::size_t frames);
    void foldPeak();

    std::uint32_t rate_;
    std::unique_ptr<Ebur128State> state_;  // metering a run of pieces; null between runs
    std::vector<std::size_t> taken_;
    std::vector<float> picked_;
    double gain_ = 0;
    std::size_t support_ = 0;
    std::vector<float> history_;   // the last support frames seen, picked channels
    std::size_t followLeft_ = 0;   // frames still to meter after a run
    double best_ = 0;
};

// A value × 100, rounded, as a bext loudness field holds it: clipped to the field's range
// below the value that means "not measured" (silence measures -inf).
std::int16_t loudnessField(double value);
