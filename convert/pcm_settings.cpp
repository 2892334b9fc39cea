#include "convert/pcm_settings.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int32_t kLargestBlockAlign = std::numeric_limits<WORD>::max();
constexpr std::int64_t kLargestByteRate = std::numeric_limits<DWORD>::max();
constexpr std::int64_t kLargestRate = std::numeric_limits<std::int32_t>::max();

// The 16-bit field's view of a signed option: its low 16 bits.
WORD low16(std::int32_t value)
{
    return static_cast<WORD>(static_cast<std::uint32_t>(value));
}

}  // namespace

std::optional<pcmwrap::SampleFormat> dumpFormat(const PcmSettings& settings)
{
    if (settings.format) {
        return settings.format;
    }
    if (settings.bits == 16) {
        return pcmwrap::SampleFormat::kS16;
    }
    if (settings.bits == 24) {
        return pcmwrap::SampleFormat::kS24;
    }
    return std::nullopt;
}

std::optional<std::string> unconvertibleFormatMessage(const PcmSettings& settings)
{
    const auto format = dumpFormat(settings);
    if (!format) {
        // Shown as the format record would hold it: 65552 reads 16, -8 reads 65528.
        return "bits per sample must be either 16 or 24 but were: <" + std::to_string(low16(settings.bits)) + ">";
    }
    const std::int32_t bytesPerSample = pcmwrap::sampleFormatInfo(*format).bits / kBitsPerByte;
    const std::int32_t mostChannels = kLargestBlockAlign / bytesPerSample;
    if (settings.channels < 1 || settings.channels > mostChannels) {
        return "channels must be from 1 to <" + std::to_string(mostChannels) + "> but were: <" +
               std::to_string(settings.channels) + ">";
    }
    // The byte rate (rate x block align) must fit its 32-bit field instead of wrapping.
    const std::int64_t blockAlign = std::int64_t{settings.channels} * bytesPerSample;
    const std::int64_t mostRate = std::min(kLargestByteRate / blockAlign, kLargestRate);
    if (settings.rate < 1 || settings.rate > mostRate) {
        return "rate must be from 1 to <" + std::to_string(mostRate) + "> but was: <" + std::to_string(settings.rate) +
               ">";
    }
    return std::nullopt;
}

WAVEFORMATEX pcmFormatRecord(const PcmSettings& settings)
{
    // In 64 bits the product of any two options fits, so nothing can overflow;
    // division truncates toward zero as it would on the 32-bit values.
    const auto sampleFormat = settings.format ? &pcmwrap::sampleFormatInfo(*settings.format) : nullptr;
    const std::int32_t bits = sampleFormat != nullptr ? sampleFormat->bits : settings.bits;
    const std::int64_t blockAlign = std::int64_t{settings.channels} * bits / kBitsPerByte;
    WAVEFORMATEX format{};
    format.wFormatTag = sampleFormat != nullptr && sampleFormat->kind == pcmwrap::SampleKind::kFloat
                            ? WAVE_FORMAT_IEEE_FLOAT
                            : WAVE_FORMAT_PCM;
    format.nChannels = low16(settings.channels);
    format.nSamplesPerSec = static_cast<DWORD>(settings.rate);
    format.nBlockAlign = static_cast<WORD>(static_cast<std::uint64_t>(blockAlign));
    format.nAvgBytesPerSec = format.nSamplesPerSec * DWORD{format.nBlockAlign};
    format.wBitsPerSample = low16(bits);
    format.cbSize = 0;
    return format;
}
