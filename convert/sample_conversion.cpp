#include "convert/sample_conversion.h"

#include <bit>
#include <cstring>

namespace {

// The restrict-qualified parameters tell the compiler that source and output do not
// overlap; without them it would not vectorise.
void swapBytePairs(const std::uint8_t* __restrict__ source, std::uint8_t* __restrict__ output)
{
    for (std::size_t i = 0; i < kChunkBytes; i += 2) {
        output[i] = source[i + 1];
        output[i + 1] = source[i];
    }
}

// 24 bytes hold 8 samples: three 64-bit words, each of which sees the same three byte
// lanes of every sample at the same places in every group. A byte loop with a stride of
// 3 does not vectorise on plain x86-64 (it needs byte shuffles); these shifts and masks
// do, and run several times faster.
constexpr std::size_t kGroupBytes = 24;
static_assert(kChunkBytes % kGroupBytes == 0, "a chunk is a whole number of 8-sample groups");

// The bytes of word `word` (0 to 2) of a group that lie at position `lane` (0 to 2) of their sample.
consteval std::uint64_t laneMask(unsigned word, unsigned lane)
{
    std::uint64_t mask = 0;
    for (unsigned byte = 0; byte < 8; ++byte) {
        if ((word * 8 + byte) % 3 == lane) {
            mask |= std::uint64_t{0xFF} << (8 * byte);
        }
    }
    return mask;
}

// Loading bytes into a word this way puts the byte at the lower address in the lower bits.
static_assert(std::endian::native == std::endian::little, "the 24-bit kernel reads bytes as little-endian words");

std::uint64_t loadWord(const std::uint8_t* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

void storeWord(std::uint8_t* bytes, std::uint64_t word)
{
    std::memcpy(bytes, &word, sizeof word);
}

// Seen as one 192-bit number, a group's output takes the first byte of each sample from
// two bytes higher, the middle byte from its own place and the last from two bytes lower.
void reverseByteTriples(const std::uint8_t* __restrict__ source, std::uint8_t* __restrict__ output)
{
    for (std::size_t group = 0; group < kChunkBytes; group += kGroupBytes) {
        const std::uint64_t w0 = loadWord(source + group);
        const std::uint64_t w1 = loadWord(source + group + 8);
        const std::uint64_t w2 = loadWord(source + group + 16);
        // The group shifted down by two bytes (byte i holds source byte i + 2) ...
        const std::uint64_t down0 = (w0 >> 16) | (w1 << 48);
        const std::uint64_t down1 = (w1 >> 16) | (w2 << 48);
        const std::uint64_t down2 = w2 >> 16;
        // ... and up by two bytes (byte i holds source byte i - 2).
        const std::uint64_t up0 = w0 << 16;
        const std::uint64_t up1 = (w1 << 16) | (w0 >> 48);
        const std::uint64_t up2 = (w2 << 16) | (w1 >> 48);
        storeWord(output + group, (down0 & laneMask(0, 0)) | (w0 & laneMask(0, 1)) | (up0 & laneMask(0, 2)));
        storeWord(output + group + 8, (down1 & laneMask(1, 0)) | (w1 & laneMask(1, 1)) | (up1 & laneMask(1, 2)));
        storeWord(output + group + 16, (down2 & laneMask(2, 0)) | (w2 & laneMask(2, 1)) | (up2 & laneMask(2, 2)));
    }
}

}  // namespace

void swapSampleBytes16(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output)
{
    swapBytePairs(source.data(), output.data());
}

void reverseSampleBytes24(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output)
{
    reverseByteTriples(source.data(), output.data());
}
