#pragma once
// A source's frames turned into the ring's: 16-bit stereo at 44100 Hz. At 44100 Hz a
// mono or stereo source of integer samples is read as 16-bit samples (a mono one
// doubled), so 16-bit stereo passes unchanged; any other is read as float, mixed down to stereo
// (downmix.h), resampled when its rate differs (resampler.h) and rounded to 16 bits.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "play/downmix.h"
#include "play/pcm_source.h"
#include "play/resampler.h"

inline constexpr std::size_t kFeedFrames = 2048;  // one ring slot of 16-bit stereo
inline constexpr std::uint32_t kLowestRate = 1000;
inline constexpr std::uint32_t kHighestRate = 768000;

// Why the source cannot be played (too many channels, a rate out of range), or nothing.
std::optional<std::string> unplayableReason(const PcmSource& source);

class RingFrameFeed {
public:
    // The source must be playable (unplayableReason gives nothing).
    explicit RingFrameFeed(PcmSource& source);

    // Fills `out` with up to kFeedFrames interleaved stereo frames, fewer only at the
    // end; returns the frames, 0 once everything (the resampler's tail included) has
    // come. Throws what the source's reads throw.
    std::size_t next(std::span<std::int16_t, 2 * kFeedFrames> out);

    // The ring frames the whole source makes, for the progress line; nothing when its
    // length is not known.
    std::optional<std::uint64_t> expectedFrames() const;

private:
    std::size_t nextDirect(std::int16_t* out);
    // Reads and mixes down the next frames into stereo_; false at the source's end.
    bool mixNext();
    std::size_t nextMixed(std::int16_t* out);
    std::size_t nextResampled(std::int16_t* out);

    PcmSource& source_;
    Downmix downmix_;
    std::unique_ptr<Resampler> resampler_;
    std::vector<std::int16_t> samples_;
    std::vector<float> input_;
    std::vector<float> stereo_;
    std::vector<float> resampled_;  // gathers until a whole slot's worth, or the end
    std::size_t stereoFrames_ = 0;
    std::size_t stereoTaken_ = 0;
    bool sourceEnded_ = false;
};
