#include "convert/format_block.h"

#include <algorithm>
#include <array>

namespace {

constexpr WORD kExtensibleExtraBytes = 22;

// A subformat GUID is the format code in its first two bytes, then these 14.
constexpr std::array<std::uint8_t, 14> kSubFormatTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

FormatBlock formatBlock(const PcmSettings& settings)
{
    FormatBlock block{};
    block.record = pcmFormatRecord(settings);
    if (!settings.channelMask) {
        return block;
    }
    const WORD code = block.record.wFormatTag;
    block.record.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    block.record.cbSize = kExtensibleExtraBytes;
    block.validBitsPerSample = block.record.wBitsPerSample;
    block.channelMask = *settings.channelMask;
    block.subFormat[0] = static_cast<std::uint8_t>(code & 0xFF);
    block.subFormat[1] = static_cast<std::uint8_t>(code >> 8);
    std::copy(kSubFormatTail.begin(), kSubFormatTail.end(), block.subFormat + 2);
    return block;
}
