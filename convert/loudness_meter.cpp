#include "convert/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "wavfile/wav_file.h"

struct Ebur128State {
    ebur128_state* meter = nullptr;

    Ebur128State(std::size_t channels, std::uint32_t rate, int mode)
    {
        meter = channels == 0 ? nullptr : ebur128_init(static_cast<unsigned>(channels), rate, mode);
        if (meter == nullptr) {
            throw std::runtime_error("the loudness of this format cannot be measured");
        }
    }
    ~Ebur128State() { ebur128_destroy(&meter); }
    Ebur128State(const Ebur128State&) = delete;
    Ebur128State& operator=(const Ebur128State&) = delete;
};

namespace {

// The momentary and short-term loudness are taken every 100 ms, over 4 and 30 such blocks.
constexpr std::uint32_t kReadingsPerSecond = 10;
constexpr unsigned long kMillisecondsPerReading = 100;
constexpr std::size_t kMomentaryBlocks = 4;
constexpr std::size_t kShortTermBlocks = 30;
constexpr double kLoudnessOffset = 0.691;

pcmwrap::codec::Stored storedOf(const WAVEFORMATEX& format)
{
    using pcmwrap::codec::Stored;
    constexpr WORD kFormatFloat = 3;  // WAVE_FORMAT_IEEE_FLOAT
    if (format.wFormatTag == kFormatFloat) {
        return format.wBitsPerSample == 64 ? Stored::kFloat64 : Stored::kFloat32;
    }
    switch (format.nBlockAlign / std::max<WORD>(format.nChannels, 1)) {
    case 1: return Stored::kUnsigned8;
    case 2: return Stored::kSigned16;
    case 3: return Stored::kSigned24;
    default: return Stored::kSigned32;
    }
}

}  // namespace

FloatFrameFeed::FloatFrameFeed(const WAVEFORMATEX& format)
    : stored_(storedOf(format)), channels_(format.nChannels),
      frameBytes_(channels_ * pcmwrap::codec::storedBytes(stored_)), samples_(kFramesPerPiece * channels_)
{
}

void FloatFrameFeed::add(const std::uint8_t* bytes, std::size_t count)
{
    if (frameBytes_ == 0) {
        return;
    }
    if (!partial_.empty()) {
        const std::size_t wanted = std::min(frameBytes_ - partial_.size(), count);
        partial_.insert(partial_.end(), bytes, bytes + wanted);
        bytes += wanted;
        count -= wanted;
        if (partial_.size() < frameBytes_) {
            return;
        }
        addFrames(partial_.data(), 1);
        partial_.clear();
    }
    const std::size_t frames = count / frameBytes_;
    addFrames(bytes, frames);
    partial_.assign(bytes + frames * frameBytes_, bytes + count);
}

void FloatFrameFeed::addFrames(const std::uint8_t* bytes, std::size_t frames)
{
    while (frames > 0) {
        const std::size_t piece = std::min(frames, kFramesPerPiece);
        pcmwrap::codec::decode(stored_, bytes, piece * channels_, samples_.data());
        consume(samples_.data(), piece);
        bytes += piece * frameBytes_;
        frames -= piece;
    }
}

GatedLoudnessMeter::GatedLoudnessMeter(const WAVEFORMATEX& format)
    : FloatFrameFeed(format),
      state_(std::make_unique<Ebur128State>(format.nChannels, format.nSamplesPerSec,
                                            EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA)),
      framesPerReading_(std::max<std::size_t>(format.nSamplesPerSec / kReadingsPerSecond, 1)),
      untilReading_(framesPerReading_), maxMomentary_(-std::numeric_limits<double>::infinity()),
      maxShortTerm_(-std::numeric_limits<double>::infinity()),
      fromBlocks_(format.nSamplesPerSec % kReadingsPerSecond == 0), blockEnergies_(kShortTermBlocks, 0.0)
{
}

GatedLoudnessMeter::~GatedLoudnessMeter() = default;

void GatedLoudnessMeter::consume(const float* samples, std::size_t frames)
{
    while (frames > 0) {
        const std::size_t piece = std::min(frames, untilReading_);
        ebur128_add_frames_float(state_->meter, samples, piece);
        samples += piece * channels();
        frames -= piece;
        untilReading_ -= piece;
        if (untilReading_ == 0) {
            takeReadings();
            untilReading_ = framesPerReading_;
        }
    }
}

void GatedLoudnessMeter::takeReadings()
{
    double momentary = 0;
    double shortTerm = 0;
    if (!fromBlocks_) {
        if (ebur128_loudness_momentary(state_->meter, &momentary) == EBUR128_SUCCESS) {
            maxMomentary_ = std::max(maxMomentary_, momentary);
        }
        if (ebur128_loudness_shortterm(state_->meter, &shortTerm) == EBUR128_SUCCESS) {
            maxShortTerm_ = std::max(maxShortTerm_, shortTerm);
        }
        return;
    }
    double block = 0;
    if (ebur128_loudness_window(state_->meter, kMillisecondsPerReading, &block) != EBUR128_SUCCESS) {
        return;
    }
    // Loudness is -0.691 + 10 log10(energy) (EBU R128); silence is -inf, energy 0.
    blockEnergies_.pop_front();
    blockEnergies_.push_back(std::isinf(block) ? 0.0 : std::pow(10.0, (block + kLoudnessOffset) / 10.0));
    const auto loudnessOf = [](double energy) {
        return energy <= 0 ? -std::numeric_limits<double>::infinity() : 10.0 * std::log10(energy) - kLoudnessOffset;
    };
    double sum = 0;
    for (std::size_t i = 0; i < kShortTermBlocks; ++i) {
        sum += blockEnergies_[kShortTermBlocks - 1 - i];
        if (i + 1 == kMomentaryBlocks) {
            maxMomentary_ = std::max(maxMomentary_, loudnessOf(sum / kMomentaryBlocks));
        }
    }
    maxShortTerm_ = std::max(maxShortTerm_, loudnessOf(sum / kShortTermBlocks));
}

void GatedLoudnessMeter::fill(LoudnessValues* values)
{
    ebur128_loudness_global(state_->meter, &values->integrated);
    ebur128_loudness_range(state_->meter, &values->range);
    values->maxMomentary = maxMomentary_;
    values->maxShortTerm = maxShortTerm_;
}

TruePeakMeter::TruePeakMeter(const WAVEFORMATEX& format, std::size_t first, std::size_t stride)
    : FloatFrameFeed(format), rate_(format.nSamplesPerSec)
{
    for (std::size_t channel = first; channel < format.nChannels; channel += std::max<std::size_t>(stride, 1)) {
        taken_.push_back(channel);
    }
    if (taken_.empty()) {
        throw std::runtime_error("the loudness of this format cannot be measured");
    }
    picked_.resize(kFramesPerPiece * taken_.size());
    // The interpolation's response to an impulse, frame by frame: the largest value of each
    // frame bounds what that frame's samples add to any value made (the sample's own peak
    // included), so their sum bounds the gain.
    Ebur128State probe(1, rate_, EBUR128_MODE_TRUE_PEAK);
    constexpr std::size_t kLongestResponse = 1024;
    float impulse = 1;
    for (std::size_t frame = 0; frame < kLongestResponse; ++frame) {
        ebur128_add_frames_float(probe.meter, &impulse, 1);
        impulse = 0;
        double value = 0;
        ebur128_prev_true_peak(probe.meter, 0, &value);
        gain_ += value;
        if (value > 0) {
            support_ = frame + 1;
        }
    }
    if (support_ == kLongestResponse) {
        gain_ = std::numeric_limits<double>::infinity();  // never skip: the bound is unknown
    }
    history_.reserve(support_ * taken_.size());
}

TruePeakMeter::~TruePeakMeter() = default;

void TruePeakMeter::feed(const float* picked, std::size_t frames)
{
    if (frames > 0) {
        ebur128_add_frames_float(state_->meter, picked, frames);
    }
}

void TruePeakMeter::foldPeak()
{
    for (std::size_t i = 0; i < taken_.size(); ++i) {
        double channelPeak = 0;
        if (ebur128_true_peak(state_->meter, static_cast<unsigned>(i), &channelPeak) == EBUR128_SUCCESS) {
            best_ = std::max(best_, channelPeak);
        }
    }
}

void TruePeakMeter::consume(const float* samples, std::size_t frames)
{
    const std::size_t all = channels();
    const std::size_t count = taken_.size();
    float largest = 0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t i = 0; i < count; ++i) {
            const float sample = samples[frame * all + taken_[i]];
            picked_[frame * count + i] = sample;
            largest = std::max(largest, std::fabs(sample));
        }
    }
    const bool canRaise = !(static_cast<double>(largest) * gain_ <= best_);
    if (canRaise) {
        if (!state_) {
            state_ = std::make_unique<Ebur128State>(count, rate_, EBUR128_MODE_TRUE_PEAK);
            feed(history_.data(), history_.size() / count);
        }
        feed(picked_.data(), frames);
        foldPeak();
        followLeft_ = support_;
    } else if (state_) {
        const std::size_t follow = std::min(followLeft_, frames);
        feed(picked_.data(), follow);
        foldPeak();
        followLeft_ -= follow;
        if (followLeft_ == 0) {
            state_.reset();
        }
    }
    // The last support frames, for the history of a state started by the next piece.
    const std::size_t kept = std::min(frames, support_);
    const std::size_t dropped = history_.size() / count + kept > support_ ? history_.size() / count + kept - support_ : 0;
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(dropped * count));
    history_.insert(history_.end(), picked_.begin() + static_cast<std::ptrdiff_t>((frames - kept) * count),
                    picked_.begin() + static_cast<std::ptrdiff_t>(frames * count));
}

double TruePeakMeter::peak()
{
    if (state_) {
        foldPeak();
    }
    return best_;
}

std::int16_t loudnessField(double value)
{
    constexpr double kLowest = std::numeric_limits<std::int16_t>::min();
    constexpr double kHighest = pcmwrap::kLoudnessNotMeasured - 1;
    if (std::isnan(value)) {
        return pcmwrap::kLoudnessNotMeasured;
    }
    return static_cast<std::int16_t>(std::lround(std::clamp(value * 100, kLowest, kHighest)));
}
