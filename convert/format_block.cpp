#include "convert/format_block.h"

#include <algorithm>

#include "wavfile/wav_format_chunk.h"

FormatBlock formatBlock(const PcmSettings& settings)
{
    FormatBlock block{};
    block.record = pcmFormatRecord(settings);
    if (!settings.channelMask) {
        return block;
    }
    const WORD code = block.record.wFormatTag;
    block.record.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    block.record.cbSize = pcmwrap::fmt::kExtensibleExtraBytes;
    block.validBitsPerSample = block.record.wBitsPerSample;
    block.channelMask = *settings.channelMask;
    block.subFormat[0] = static_cast<std::uint8_t>(code & 0xFF);
    block.subFormat[1] = static_cast<std::uint8_t>(code >> 8);
    std::copy(pcmwrap::fmt::kSubFormatGuidTail.begin(), pcmwrap::fmt::kSubFormatGuidTail.end(), block.subFormat + 2);
    return block;
}
