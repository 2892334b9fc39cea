// The fmt chunk read into a WavFormat and written from one.

#include "wavfile/wav_format_chunk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <string>

#include "platform/little_endian.h"

namespace pcmwrap::fmt {

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::size_t kFloatBytes = 18;

// The names of the formats met in real files, for messages.
std::string describeTag(std::uint16_t tag)
{
    struct Named {
        std::uint16_t tag;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {0x0002, "ADPCM"},    {0x0006, "A-law"},       {0x0007, "µ-law"},       {0x0011, "IMA ADPCM"},
        {0x0031, "GSM 6.10"}, {0x0050, "MPEG"},        {0x0055, "MPEG Layer 3"}, {0x00FF, "AAC"},
        {0x2000, "AC-3"},     {0xF1AC, "FLAC"},
    };
    std::string text = std::to_string(tag);
    const auto* found = std::find_if(std::begin(kNames), std::end(kNames), [&](const Named& n) { return n.tag == tag; });
    if (found != std::end(kNames)) {
        text += std::string(" (") + found->name + ")";
    }
    return text;
}

std::string bitsText(const WavFormat& format)
{
    const char* kind = format.encoding == SampleEncoding::kFloat           ? "float"
                       : format.encoding == SampleEncoding::kUnsignedInteger ? "unsigned integer"
                                                                             : "signed integer";
    return std::to_string(format.bitsPerSample) + "-bit " + kind;
}

bool isStorable(const WavFormat& format)
{
    switch (format.encoding) {
    case SampleEncoding::kUnsignedInteger: return format.bitsPerSample == 8;
    case SampleEncoding::kSignedInteger:
        return format.bitsPerSample == 16 || format.bitsPerSample == 24 || format.bitsPerSample == 32;
    case SampleEncoding::kFloat: return format.bitsPerSample == 32 || format.bitsPerSample == 64;
    }
    return false;
}

bool isExtensible(const WavFormat& format)
{
    return format.channels > 2 || format.channelMask != 0;
}

}  // namespace

codec::Stored storedOf(const WavFormat& format)
{
    if (format.encoding == SampleEncoding::kFloat) {
        return format.bitsPerSample == 64 ? codec::Stored::kFloat64 : codec::Stored::kFloat32;
    }
    switch (format.bitsPerSample) {
    case 8: return codec::Stored::kUnsigned8;
    case 16: return codec::Stored::kSigned16;
    case 24: return codec::Stored::kSigned24;
    default: return codec::Stored::kSigned32;
    }
}

std::string parseFormat(std::span<const unsigned char> bytes, std::uint64_t chunkSize, StoredFormat* parsed)
{
    if (chunkSize < kPcmBytes) {
        return "fmt chunk of " + std::to_string(chunkSize) + " bytes is too short";
    }
    const unsigned char* b = bytes.data();
    std::uint16_t tag = readLittleEndian16(b);
    WavFormat& format = parsed->format;
    format = WavFormat{};
    format.channels = readLittleEndian16(b + 2);
    format.sampleRate = readLittleEndian32(b + 4);
    const std::uint16_t blockAlign = readLittleEndian16(b + 12);
    std::uint16_t bits = readLittleEndian16(b + 14);
    if (tag == kTagExtensible) {
        if (chunkSize < kExtensibleBytes || bytes.size() < kExtensibleBytes ||
            readLittleEndian16(b + 16) < kExtensibleExtraBytes) {
            return "extensible fmt chunk of " + std::to_string(chunkSize) + " bytes is too short";
        }
        // Valid bits below the container's are read as the container: the low bits are 0.
        format.channelMask = readLittleEndian32(b + 20);
        tag = readLittleEndian16(b + 24);
        const bool knownGuid = std::equal(kSubFormatGuidTail.begin(), kSubFormatGuidTail.end(), b + 26);
        if (!knownGuid || (tag != kTagPcm && tag != kTagFloat)) {
            return "extensible subformat " + describeTag(tag) + " is not PCM or float";
        }
    } else if (tag != kTagPcm && tag != kTagFloat) {
        return "format " + describeTag(tag) + " is not PCM or float";
    }
    if (format.channels == 0) {
        return "a format of 0 channels";
    }
    if (tag == kTagFloat) {
        format.encoding = SampleEncoding::kFloat;
    } else {
        // A PCM format may name its valid bits (12, 20) rather than its container (16,
        // 24): the samples stand left-justified in the container, and are read as it.
        // A width past 32 bits is refused under the number the file gives.
        const std::uint32_t container = (std::uint32_t{bits} + 7) / 8 * 8;
        if (container <= 32) {
            bits = static_cast<std::uint16_t>(container);
        }
        format.encoding = bits == 8 ? SampleEncoding::kUnsignedInteger : SampleEncoding::kSignedInteger;
    }
    format.bitsPerSample = bits;
    if (!isStorable(format)) {
        return bitsText(format) + " samples are not read";
    }
    const std::uint32_t frameBytes = std::uint32_t{format.channels} * (bits / 8u);
    if (blockAlign != frameBytes) {
        return "block align " + std::to_string(blockAlign) + " is not " + std::to_string(format.channels) +
               " channels of " + std::to_string(bits / 8) + " bytes";
    }
    parsed->stored = storedOf(format);
    parsed->blockAlign = blockAlign;
    return {};
}

std::string unwritableReason(const WavFormat& format)
{
    if (format.channels == 0) {
        return "a format of 0 channels";
    }
    if (format.sampleRate == 0) {
        return "a sample rate of 0";
    }
    if (!isStorable(format)) {
        return bitsText(format) + " samples are not written";
    }
    // A mask names one speaker per channel; more positions than channels describe no
    // layout a reader can follow. Fewer leave the last channels unplaced, as allowed.
    if (const int positions = std::popcount(format.channelMask); positions > format.channels) {
        return "a channel mask of " + std::to_string(positions) + " speakers for " +
               std::to_string(format.channels) + " channels";
    }
    const std::uint64_t frameBytes = std::uint64_t{format.channels} * (format.bitsPerSample / 8u);
    if (frameBytes > std::numeric_limits<std::uint16_t>::max() ||
        frameBytes * format.sampleRate > std::numeric_limits<std::uint32_t>::max()) {
        return std::to_string(format.channels) + " channels at " + std::to_string(format.sampleRate) +
               " Hz do not fit the fmt chunk";
    }
    return {};
}

bool needsFact(const WavFormat& format)
{
    // Every format but plain PCM, as other writers give it and checkers expect it.
    return format.encoding == SampleEncoding::kFloat || isExtensible(format);
}

std::vector<unsigned char> formatChunkData(const WavFormat& format)
{
    const bool extensible = isExtensible(format);
    const bool isFloat = format.encoding == SampleEncoding::kFloat;
    const std::uint16_t tag = isFloat ? kTagFloat : kTagPcm;
    const auto blockAlign = static_cast<std::uint16_t>(format.channels * (format.bitsPerSample / 8));
    std::vector<unsigned char> data(extensible ? kExtensibleBytes : isFloat ? kFloatBytes : kPcmBytes);
    unsigned char* b = data.data();
    writeLittleEndian16(b, extensible ? kTagExtensible : tag);
    writeLittleEndian16(b + 2, format.channels);
    writeLittleEndian32(b + 4, format.sampleRate);
    writeLittleEndian32(b + 8, format.sampleRate * blockAlign);
    writeLittleEndian16(b + 12, blockAlign);
    writeLittleEndian16(b + 14, format.bitsPerSample);
    if (data.size() > kPcmBytes) {
        writeLittleEndian16(b + 16, extensible ? kExtensibleExtraBytes : 0);
    }
    if (extensible) {
        writeLittleEndian16(b + 18, format.bitsPerSample);  // valid bits: all of them
        writeLittleEndian32(b + 20, format.channelMask);
        writeLittleEndian16(b + 24, tag);
        std::copy(kSubFormatGuidTail.begin(), kSubFormatGuidTail.end(), b + 26);
    }
    return data;
}

}  // namespace pcmwrap::fmt
