#pragma once
// Which WAVE formats the player can play, and their frames turned into the ring's:
// 16-bit little-endian stereo at 44100 Hz. 16- and 24-bit PCM, mono or stereo, at
// 44100 Hz plays; a mono sample goes to both channels, and a 24-bit sample keeps its
// upper 16 bits.

#include <cstddef>
#include <optional>
#include <string>

#include "platform/wave_format.h"
#include "platform/win_types.h"

inline constexpr std::size_t kRingFrameBytes = 4;
inline constexpr DWORD kRingFramesPerSecond = 44100;

struct SourceFrames {
    unsigned bytesPerSample;  // 2 or 3
    unsigned channels;        // 1 or 2
    std::size_t frameBytes() const { return std::size_t{bytesPerSample} * channels; }
};

// The frames of a playable format; nothing for any other (including a block align that
// does not match its samples).
std::optional<SourceFrames> playableFrames(const WAVEFORMATEX& format);

// "format <1>, <8> bits, <1> channels, <22050> Hz": what a skipped file holds.
std::string describeFormat(const WAVEFORMATEX& format);

// What the output plays, for the message of a skipped file.
inline constexpr const char* kPlayableFormats = "16- or 24-bit PCM (format <1>), mono or stereo, at <44100> Hz";

// Turns `frames` whole source frames into ring frames at `out`, which holds
// frames * kRingFrameBytes bytes.
void toRingFrames(const SourceFrames& source, const BYTE* in, std::size_t frames, BYTE* out);
