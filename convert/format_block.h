#pragma once
// The format block a converted file is created with: the record of pcm_settings.h, and
// with -m the WAVE_FORMAT_EXTENSIBLE form whose 22 extra bytes follow the record in
// memory, as wav_create takes them.

#include <cstdint>

#include "convert/pcm_settings.h"

#pragma pack(push, 1)
struct FormatBlock {
    WAVEFORMATEX record;
    // The extensible form's extra bytes: used only when record.cbSize is 22.
    WORD validBitsPerSample;
    DWORD channelMask;
    std::uint8_t subFormat[16];
};
#pragma pack(pop)

static_assert(sizeof(FormatBlock) == 40, "the extensible format block is 40 bytes without gaps");

// The record of pcmFormatRecord; with a channel mask, the extensible form around it:
// tag 0xFFFE, cbSize 22, valid bits = bits, the mask, and the PCM or IEEE float subformat.
FormatBlock formatBlock(const PcmSettings& settings);
