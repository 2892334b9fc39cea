#include "convert/foreign_words.h"

#include "convert/sample_conversion.h"

std::optional<std::uint32_t> foreignWordOffset(std::span<const std::uint8_t, kChunkBytes> chunk, std::uint32_t count,
                                               const ChunkConversion& conversion, const PcmSettings& settings)
{
    if (!conversion.dropsHighBytes) {
        return std::nullopt;
    }
    const std::ptrdiff_t at = firstForeignHighByte(chunk, count, settings.littleEndian);
    if (at < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(at);
}
