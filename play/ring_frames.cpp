#include "play/ring_frames.h"

#include <cstring>

std::optional<SourceFrames> playableFrames(const WAVEFORMATEX& format)
{
    const bool samplesPlay = format.wBitsPerSample == 16 || format.wBitsPerSample == 24;
    const bool channelsPlay = format.nChannels == 1 || format.nChannels == 2;
    if (format.wFormatTag != WAVE_FORMAT_PCM || !samplesPlay || !channelsPlay ||
        format.nSamplesPerSec != kRingFramesPerSecond) {
        return std::nullopt;
    }
    const SourceFrames frames{format.wBitsPerSample / 8u, format.nChannels};
    // The block align says how far apart the frames stand; one that disagrees with the
    // samples leaves the data's layout unknown.
    if (format.nBlockAlign != frames.frameBytes()) {
        return std::nullopt;
    }
    return frames;
}

std::string describeFormat(const WAVEFORMATEX& format)
{
    return "format <" + std::to_string(format.wFormatTag) + ">, <" + std::to_string(format.wBitsPerSample) +
           "> bits, <" + std::to_string(format.nChannels) + "> channels, <" + std::to_string(format.nSamplesPerSec) +
           "> Hz";
}

void toRingFrames(const SourceFrames& source, const BYTE* in, std::size_t frames, BYTE* out)
{
    if (source.bytesPerSample == 2 && source.channels == 2) {
        std::memcpy(out, in, frames * kRingFrameBytes);
        return;
    }
    // A little-endian 24-bit sample's upper 16 bits are its last two bytes.
    const std::size_t upper = source.bytesPerSample - 2;
    for (std::size_t frame = 0; frame < frames; ++frame, in += source.frameBytes(), out += kRingFrameBytes) {
        const BYTE* left = in + upper;
        const BYTE* right = source.channels == 2 ? left + source.bytesPerSample : left;
        out[0] = left[0];
        out[1] = left[1];
        out[2] = right[0];
        out[3] = right[1];
    }
}
