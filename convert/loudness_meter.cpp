#include "convert/loudness_meter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "wavfile/wav_file.h"
#include "wavfile/wav_sample_codec.h"

namespace {

// The momentary and short-term loudness are taken every 100 ms, as meters show them.
constexpr std::uint32_t kReadingsPerSecond = 10;
constexpr std::size_t kFramesPerPiece = 4096;

pcmwrap::codec::Stored storedOf(const WAVEFORMATEX& format)
{
    using pcmwrap::codec::Stored;
    constexpr WORD kFormatFloat = 3;  // WAVE_FORMAT_IEEE_FLOAT
    if (format.wFormatTag == kFormatFloat) {
        return format.wBitsPerSample == 64 ? Stored::kFloat64 : Stored::kFloat32;
    }
    switch ((format.nBlockAlign / std::max<WORD>(format.nChannels, 1))) {
    case 1: return Stored::kUnsigned8;
    case 2: return Stored::kSigned16;
    case 3: return Stored::kSigned24;
    default: return Stored::kSigned32;
    }
}

}  // namespace

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    pcmwrap::codec::Stored stored = pcmwrap::codec::Stored::kSigned16;
    std::size_t channels = 1;
    std::size_t frameBytes = 1;
    std::size_t framesPerReading = 1;
    std::size_t untilReading = 1;
    std::vector<std::uint8_t> partial;  // bytes of a frame split between two calls
    std::vector<float> samples;
    double maxMomentary = -std::numeric_limits<double>::infinity();
    double maxShortTerm = -std::numeric_limits<double>::infinity();

    ~State()
    {
        if (meter != nullptr) {
            ebur128_destroy(&meter);
        }
    }
};

LoudnessMeter::LoudnessMeter(const WAVEFORMATEX& format) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.channels = format.nChannels;
    s.stored = storedOf(format);
    s.frameBytes = s.channels * pcmwrap::codec::storedBytes(s.stored);
    s.framesPerReading = std::max<std::size_t>(format.nSamplesPerSec / kReadingsPerSecond, 1);
    s.untilReading = s.framesPerReading;
    s.meter = ebur128_init(static_cast<unsigned>(s.channels), format.nSamplesPerSec,
                           EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA |
                               EBUR128_MODE_TRUE_PEAK);
    if (s.meter == nullptr || s.channels == 0) {
        throw std::runtime_error("the loudness of this format cannot be measured");
    }
    s.samples.resize(kFramesPerPiece * s.channels);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const std::uint8_t* bytes, std::size_t count)
{
    State& s = *state_;
    if (!s.partial.empty()) {
        const std::size_t wanted = std::min(s.frameBytes - s.partial.size(), count);
        s.partial.insert(s.partial.end(), bytes, bytes + wanted);
        bytes += wanted;
        count -= wanted;
        if (s.partial.size() < s.frameBytes) {
            return;
        }
        addFrames(s.partial.data(), 1);
        s.partial.clear();
    }
    const std::size_t frames = count / s.frameBytes;
    addFrames(bytes, frames);
    s.partial.assign(bytes + frames * s.frameBytes, bytes + count);
}

void LoudnessMeter::addFrames(const std::uint8_t* bytes, std::size_t frames)
{
    State& s = *state_;
    while (frames > 0) {
        const std::size_t piece = std::min({frames, kFramesPerPiece, s.untilReading});
        pcmwrap::codec::decode(s.stored, bytes, piece * s.channels, s.samples.data());
        ebur128_add_frames_float(s.meter, s.samples.data(), piece);
        bytes += piece * s.frameBytes;
        frames -= piece;
        s.untilReading -= piece;
        if (s.untilReading == 0) {
            double momentary = 0;
            double shortTerm = 0;
            if (ebur128_loudness_momentary(s.meter, &momentary) == EBUR128_SUCCESS) {
                s.maxMomentary = std::max(s.maxMomentary, momentary);
            }
            if (ebur128_loudness_shortterm(s.meter, &shortTerm) == EBUR128_SUCCESS) {
                s.maxShortTerm = std::max(s.maxShortTerm, shortTerm);
            }
            s.untilReading = s.framesPerReading;
        }
    }
}

LoudnessValues LoudnessMeter::values()
{
    State& s = *state_;
    LoudnessValues values;
    ebur128_loudness_global(s.meter, &values.integrated);
    ebur128_loudness_range(s.meter, &values.range);
    double peak = 0;
    for (unsigned channel = 0; channel < s.channels; ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(s.meter, channel, &channelPeak) == EBUR128_SUCCESS) {
            peak = std::max(peak, channelPeak);
        }
    }
    values.truePeak = 20 * std::log10(peak);
    values.maxMomentary = s.maxMomentary;
    values.maxShortTerm = s.maxShortTerm;
    return values;
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
