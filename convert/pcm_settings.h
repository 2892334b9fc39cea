#pragma once
// The sample format a run asks for and the PCM format record a WAVE file gets from it.

#include <cstdint>
#include <optional>
#include <string>

#include "formats/sample_format.h"
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
    // -f: the dumps' sample format, which then decides over bits. Without it, bits 16 and
    // 24 name s16 and s24 and any other value is refused.
    std::optional<pcmwrap::SampleFormat> format = std::nullopt;
    // -s: bytes skipped at the start of every dump.
    std::uint64_t skipBytes = 0;
    // -m: the speaker mask of an extensible format record (0: no positions).
    std::optional<std::uint32_t> channelMask = std::nullopt;
};

// The format of the dumps' samples: -f's, else s16 or s24 from the bits, else nothing.
std::optional<pcmwrap::SampleFormat> dumpFormat(const PcmSettings& settings);

// Why no file can be written in this format, as the line to print (without its newline),
// or nothing when it can. Without -f, bits must be exactly 16 or 24; then the block align
// (channels × bytes per sample in the file) must lie between 1 and 65535, the range of its field;
// then the rate must be at least 1 and small enough that the byte rate (rate × block
// align) fits its 32-bit field. Judged in that order.
std::optional<std::string> unconvertibleFormatMessage(const PcmSettings& settings);

// The record for the settings: channels and bits keep their low 16 bits, the block
// align is (channels × bits) / 8 truncated toward zero with its low 16 bits kept, and the
// byte rate is rate × block align as a 32-bit product that wraps, as the field's width says.
// The bits are those of -f's format when it is given; float formats get format code 3
// (IEEE float), the others 1 (PCM). The channel mask is not part of it (format_block.h).
WAVEFORMATEX pcmFormatRecord(const PcmSettings& settings);
