#include "wave/stream_sizes.h"

#include "platform/mmio.h"

namespace {

constexpr std::uint64_t kFormHeaderBytes = 12;  // id, size, type
constexpr std::uint64_t kFormSizeExcludes = 8;  // the form's id and size field

}  // namespace

WaveStreamSizes decideStreamSizes(std::uint64_t headerBytes, std::optional<std::uint64_t> dataBytes,
                                  std::uint32_t blockAlign)
{
    WaveStreamSizes sizes;
    if (!dataBytes) {
        return sizes;
    }
    const std::uint64_t data = *dataBytes;
    const std::uint64_t frames = blockAlign == 0 ? 0 : data / blockAlign;
    const std::uint64_t ceiling = mmioGetMaximumRiffFileSize();
    const std::uint64_t riffHeader = kFormHeaderBytes + headerBytes;
    // Compared without adding, so that no size wraps.
    const std::uint64_t room = ceiling > riffHeader ? ceiling - riffHeader : 0;
    sizes.rf64 = data > room || (data % 2) > room - data;
    if (!sizes.rf64) {
        sizes.formSize = static_cast<DWORD>(riffHeader + data + data % 2 - kFormSizeExcludes);
        sizes.dataSize = static_cast<DWORD>(data);
        sizes.sampleCount = static_cast<DWORD>(frames);
        return sizes;
    }
    // As an RF64 file: the 32-bit fields all ones, the true sizes in ds64.
    sizes.riffSize64 = riffHeader + kDs64ChunkBytes + data + data % 2 - kFormSizeExcludes;
    sizes.dataSize64 = data;
    sizes.sampleCount64 = frames;
    return sizes;
}
