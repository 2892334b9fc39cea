#pragma once
// The sample format a run asks for and the PCM format record a WAVE file gets from it.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/wave_format.h"

inline constexpr std::int32_t kBitsPerByte = 8;

// The options' values as given on the command line: signed 32-bit, not yet checked.
struct PcmSettings {
    std::int32_t channels = 1;
    std::int32_t rate = 44100;
    std::int32_t bits = 24;
    // The dumps hold their samples least significant byte first, as the file does: they
    // are copied as they are.
    bool littleEndian = false;
};

// Why no file can be written in this format, as the line to print (without its newline),
// or nothing when it can. Bits must be exactly 16 or 24; then the block align
// (channels × bytes per sample) must lie between 1 and 65535, the range of its field;
// then the rate must be at least 1 and small enough that the byte rate (rate × block
// align) fits its 32-bit field. Judged in that order.
std::optional<std::string> unconvertibleFormatMessage(const PcmSettings& settings);

// The PCM record for the settings: channels and bits keep their low 16 bits, the block
// align is (channels × bits) / 8 truncated toward zero with its low 16 bits kept, and the
// byte rate is rate × block align as a 32-bit product that wraps, as the field's width says.
WAVEFORMATEX pcmFormatRecord(const PcmSettings& settings);
