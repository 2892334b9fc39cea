#include "probe/container_signature.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace pcmwrap::probe {
namespace {

bool startsWith(std::span<const std::byte> bytes, std::size_t offset, std::string_view text)
{
    if (bytes.size() < offset + text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (bytes[offset + i] != static_cast<std::byte>(text[i])) {
            return false;
        }
    }
    return true;
}

std::uint8_t byteAt(std::span<const std::byte> bytes, std::size_t offset)
{
    return std::to_integer<std::uint8_t>(bytes[offset]);
}

// The length in bytes of the MPEG audio Layer III frame whose header starts at offset, or 0
// when there is no valid header there. A bare frame sync (eleven 1 bits) is common in
// PCM: a 16-bit sample of -1 to -32 starts with it. So only a complete header with a legal
// version, layer, bit rate and sampling rate counts, and a caller asks for two in a row.
std::size_t mp3FrameLength(std::span<const std::byte> bytes, std::size_t offset)
{
    if (bytes.size() < offset + 4) {
        return 0;
    }
    const std::uint8_t b1 = byteAt(bytes, offset + 1);
    const std::uint8_t b2 = byteAt(bytes, offset + 2);
    if (byteAt(bytes, offset) != 0xFF || (b1 & 0xE0) != 0xE0) {
        return 0;
    }
    const int version = (b1 >> 3) & 3;  // 0: MPEG 2.5, 1: reserved, 2: MPEG 2, 3: MPEG 1
    const int layer = (b1 >> 1) & 3;    // 1: Layer III
    const int bitRateIndex = b2 >> 4;
    const int rateIndex = (b2 >> 2) & 3;
    if (version == 1 || layer != 1 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3) {
        return 0;
    }
    constexpr std::array<int, 15> kMpeg1BitRates{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    constexpr std::array<int, 15> kMpeg2BitRates{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    constexpr std::array<int, 3> kMpeg1Rates{44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int bitRate = (mpeg1 ? kMpeg1BitRates : kMpeg2BitRates)[static_cast<std::size_t>(bitRateIndex)] * 1000;
    int rate = kMpeg1Rates[static_cast<std::size_t>(rateIndex)];
    if (version == 2) {
        rate /= 2;
    } else if (version == 0) {
        rate /= 4;
    }
    const int padding = (b2 >> 1) & 1;
    return static_cast<std::size_t>((mpeg1 ? 144 : 72) * bitRate / rate + padding);
}

bool startsWithMp3Frames(std::span<const std::byte> head)
{
    const std::size_t first = mp3FrameLength(head, 0);
    return first != 0 && mp3FrameLength(head, first) != 0;
}

}  // namespace

std::string containerSignature(std::span<const std::byte> head)
{
    if (startsWith(head, 8, "WAVE")) {
        if (startsWith(head, 0, "RIFF")) {
            return "RIFF WAVE";
        }
        if (startsWith(head, 0, "RF64")) {
            return "RF64 WAVE";
        }
    }
    if (startsWith(head, 0, "FORM")) {
        if (startsWith(head, 8, "AIFF")) {
            return "AIFF";
        }
        if (startsWith(head, 8, "AIFC")) {
            return "AIFC";
        }
    }
    if (startsWith(head, 0, "fLaC")) {
        return "FLAC";
    }
    if (startsWith(head, 0, "OggS")) {
        return "Ogg";
    }
    if (startsWith(head, 0, "ID3") || startsWithMp3Frames(head)) {
        return "MP3";
    }
    if (startsWith(head, 0, ".snd")) {
        return "Sun/NeXT .snd";
    }
    if (startsWith(head, 0, "caff")) {
        return "CAF";
    }
    return {};
}

}  // namespace pcmwrap::probe
