#include "play/ring_frame_feed.h"

#include <algorithm>

#include "play/bracketed.h"
#include "play/ring_frames.h"
#include "play/sample_rounding.h"

namespace {

bool readsDirectly(const PcmSource& source)
{
    return source.sampleRate() == kRingFramesPerSecond && source.channels() <= 2 &&
           (!source.floatSamples() || source.roundsFloatTo16Bits());
}

}  // namespace

std::optional<std::string> unplayableReason(const PcmSource& source)
{
    if (source.channels() < 1 || source.channels() > kMostMixedChannels) {
        return bracketed(source.channels()) + " channels; the player mixes 1 to 8 down to stereo";
    }
    if (source.sampleRate() < kLowestRate || source.sampleRate() > kHighestRate) {
        return bracketed(source.sampleRate()) + " Hz; the player takes 1000 to 768000 Hz";
    }
    return std::nullopt;
}

RingFrameFeed::RingFrameFeed(PcmSource& source) : source_(source), downmix_(source.channels(), source.channelMask())
{
    if (readsDirectly(source)) {
        samples_.resize(kFeedFrames * source.channels());
        return;
    }
    input_.resize(kFeedFrames * source.channels());
    stereo_.resize(kFeedFrames * 2);
    if (source.sampleRate() != kRingFramesPerSecond) {
        resampled_.resize(kFeedFrames * 2);
        resampler_ = std::make_unique<Resampler>(source.sampleRate(), kRingFramesPerSecond);
    }
}

std::optional<std::uint64_t> RingFrameFeed::expectedFrames() const
{
    if (!source_.lengthKnown()) {
        return std::nullopt;
    }
    return source_.frameCount() * kRingFramesPerSecond / source_.sampleRate();
}

std::size_t RingFrameFeed::next(std::span<std::int16_t, 2 * kFeedFrames> out)
{
    if (readsDirectly(source_)) {
        return nextDirect(out.data());
    }
    return resampler_ ? nextResampled(out.data()) : nextMixed(out.data());
}

std::size_t RingFrameFeed::nextDirect(std::int16_t* out)
{
    if (source_.channels() == 2) {
        return source_.readFrames(std::span(out, 2 * kFeedFrames));
    }
    const std::size_t frames = source_.readFrames(std::span(samples_));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        out[2 * frame] = out[2 * frame + 1] = samples_[frame];
    }
    return frames;
}

bool RingFrameFeed::mixNext()
{
    stereoTaken_ = 0;
    stereoFrames_ = sourceEnded_ ? 0 : source_.readFrames(std::span(input_));
    sourceEnded_ = stereoFrames_ == 0;
    downmix_.mix(input_.data(), stereoFrames_, stereo_.data());
    return !sourceEnded_;
}

std::size_t RingFrameFeed::nextMixed(std::int16_t* out)
{
    if (!mixNext()) {
        return 0;
    }
    std::transform(stereo_.begin(), stereo_.begin() + 2 * stereoFrames_, out, floatToInt16);
    return stereoFrames_;
}

std::size_t RingFrameFeed::nextResampled(std::int16_t* out)
{
    std::size_t made = 0;
    while (made < kFeedFrames) {
        if (stereoTaken_ == stereoFrames_ && !sourceEnded_) {
            mixNext();
        }
        std::size_t taken = 0;
        const float* in = sourceEnded_ ? nullptr : stereo_.data() + 2 * stereoTaken_;
        const std::size_t produced = resampler_->process(in, stereoFrames_ - stereoTaken_, &taken,
                                                         resampled_.data() + 2 * made, kFeedFrames - made);
        stereoTaken_ += taken;
        made += produced;
        if (sourceEnded_ && produced == 0) {
            break;
        }
    }
    std::transform(resampled_.begin(), resampled_.begin() + 2 * made, out, floatToInt16);
    return made;
}
