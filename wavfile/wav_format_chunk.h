#pragma once
// Internal: the fmt chunk as a WavFormat, both ways. Reading takes PCM (1), IEEE float
// (3) and WAVE_FORMAT_EXTENSIBLE (0xFFFE) with a PCM or float subformat; writing makes
// the smallest of those that every reader takes for the format.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "wavfile/wav_file.h"
#include "wavfile/wav_sample_codec.h"

namespace pcmwrap::fmt {

// The most a fmt chunk holds that the reader looks at: the extensible form.
inline constexpr std::size_t kExtensibleBytes = 40;
inline constexpr std::size_t kPcmBytes = 16;

// What the extensible form adds to the 18-byte form: cbSize.
inline constexpr std::uint16_t kExtensibleExtraBytes = 22;
// A subformat GUID is the format tag in its first two bytes followed by these 14.
inline constexpr std::array<unsigned char, 14> kSubFormatGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct StoredFormat {
    WavFormat format;
    codec::Stored stored = codec::Stored::kSigned16;
    std::uint16_t blockAlign = 0;
};

// The first bytes of a fmt chunk (at most kExtensibleBytes) and the chunk's full size.
// Empty on success; otherwise why the format is refused, as "format 2 (ADPCM) is not
// PCM or float".
std::string parseFormat(std::span<const unsigned char> bytes, std::uint64_t chunkSize, StoredFormat* parsed);

// Empty when the writer can write the format; otherwise why not.
std::string unwritableReason(const WavFormat& format);
codec::Stored storedOf(const WavFormat& format);
// The fmt chunk's data for a writable format: 16 bytes (PCM), 18 (float) or 40 (extensible).
std::vector<unsigned char> formatChunkData(const WavFormat& format);
// Whether the file gets a fact chunk: every float or extensible format.
bool needsFact(const WavFormat& format);

}  // namespace pcmwrap::fmt
