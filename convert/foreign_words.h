#pragma once
// s24in32 keeps the low three bytes of each 4-byte word. A high byte that is neither 0
// nor the sign extension of bit 23 means the dump holds no such samples: finding one
// stops the conversion instead of dropping it silently.

#include <cstdint>
#include <optional>
#include <span>

#include "convert/chunk.h"
#include "convert/chunk_conversion.h"
#include "convert/pcm_settings.h"

// The offset in the chunk of the first such word among the first `count` bytes; nothing
// when there is none or the format drops no byte.
std::optional<std::uint32_t> foreignWordOffset(std::span<const std::uint8_t, kChunkBytes> chunk, std::uint32_t count,
                                               const ChunkConversion& conversion, const PcmSettings& settings);
