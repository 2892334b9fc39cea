// The byte-order kernels against the plainest statement of what they do, over whole chunks.

#include "convert/sample_conversion.h"
#include "convert/sample_conversion_testing.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"

namespace {

using testsupport::Bytes;
using Chunk = std::array<std::uint8_t, kChunkBytes>;

Chunk chunkOf(const Bytes& bytes)
{
    Chunk chunk{};
    std::copy(bytes.begin(), bytes.end(), chunk.begin());
    return chunk;
}

Bytes bytesOf(const Chunk& chunk, std::size_t count = kChunkBytes)
{
    return Bytes(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
}

using Kernel = void (*)(std::span<const std::uint8_t, kChunkBytes>, std::span<std::uint8_t, kChunkBytes>);

// Each width's kernels: the one this machine chooses and the one that runs where the
// processor offers nothing faster.
TEST(SampleConversion, SixteenBitSamplesSwapTheirBytes)
{
    for (const Kernel kernel : {&swapSampleBytes16, &swapSampleBytes16Portable}) {
        Chunk output{};
        kernel(chunkOf({0x12, 0x34, 0x56, 0x78}), output);
        EXPECT_EQ(bytesOf(output, 4), (Bytes{0x34, 0x12, 0x78, 0x56}));

        const Bytes random = testsupport::randomBytes(kChunkBytes, 16);
        kernel(chunkOf(random), output);
        EXPECT_EQ(bytesOf(output), testsupport::reversedSamples(random, 2));
    }
}

TEST(SampleConversion, TwentyFourBitSamplesReverseTheirBytes)
{
    for (const Kernel kernel : {&reverseSampleBytes24, &reverseSampleBytes24Portable}) {
        Chunk output{};
        kernel(chunkOf({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}), output);
        EXPECT_EQ(bytesOf(output, 6), (Bytes{0x56, 0x34, 0x12, 0xBC, 0x9A, 0x78}));

        // Every byte distinct within a stretch longer than the kernels' steps, so any byte
        // taken from a wrong place shows, up to the chunk's last sample.
        Bytes counting(kChunkBytes);
        for (std::size_t i = 0; i < counting.size(); ++i) {
            counting[i] = static_cast<std::uint8_t>(i);
        }
        for (const Bytes& source : {counting, testsupport::randomBytes(kChunkBytes, 24)}) {
            kernel(chunkOf(source), output);
            EXPECT_EQ(bytesOf(output), testsupport::reversedSamples(source, 3));
        }
    }
}

TEST(SampleConversion, ThirtyTwoAndSixtyFourBitSamplesReverseTheirBytes)
{
    const Bytes random = testsupport::randomBytes(kChunkBytes, 32);
    for (const Kernel kernel : {&reverseSampleBytes32, &reverseSampleBytes32Portable}) {
        Chunk output{};
        kernel(chunkOf(random), output);
        EXPECT_EQ(bytesOf(output), testsupport::reversedSamples(random, 4));
    }
    for (const Kernel kernel : {&reverseSampleBytes64, &reverseSampleBytes64Portable}) {
        Chunk output{};
        kernel(chunkOf(random), output);
        EXPECT_EQ(bytesOf(output), testsupport::reversedSamples(random, 8));
    }
}

// 24 bits in 4-byte words: the low three bytes of each word, least significant first,
// from words of either byte order; 4608 bytes from a chunk.
TEST(SampleConversion, TwentyFourBitsInWordsArePacked)
{
    const Bytes random = testsupport::randomBytes(kChunkBytes, 33);
    for (const bool little : {true, false}) {
        Bytes expected;
        for (std::size_t i = 0; i < kChunkBytes; i += 4) {
            for (std::size_t k = 0; k < 3; ++k) {
                expected.push_back(little ? random[i + k] : random[i + 3 - k]);
            }
        }
        Chunk chosen{};
        (little ? packSamples24In32Little : packSamples24In32Big)(chunkOf(random), chosen);
        EXPECT_EQ(bytesOf(chosen, expected.size()), expected);
        Chunk portable{};
        packSamples24In32Portable(chunkOf(random), portable, little);
        EXPECT_EQ(bytesOf(portable, expected.size()), expected);
    }
}

TEST(SampleConversion, EightBitSignsAreFlipped)
{
    Chunk output{};
    flipSampleSigns8(chunkOf({0x00, 0x7F, 0x80, 0xFF}), output);
    EXPECT_EQ(bytesOf(output, 4), (Bytes{0x80, 0xFF, 0x00, 0x7F}));
}

// The high byte may be 0, or 0xFF with bit 23 set; the first word otherwise is found,
// among the whole words of the count only.
TEST(SampleConversion, TheFirstWordWithAForeignHighByteIsFound)
{
    Chunk words{};
    for (std::size_t i = 0; i < kChunkBytes; i += 4) {
        words[i + 2] = static_cast<std::uint8_t>(i % 256);  // bit 23 set in some
        words[i + 3] = (words[i + 2] & 0x80) != 0 && i % 8 == 0 ? 0xFF : 0x00;
    }
    EXPECT_EQ(firstForeignHighByte(words, kChunkBytes, true), -1);
    Chunk foreign = words;
    foreign[4000 + 3] = 0x01;
    EXPECT_EQ(firstForeignHighByte(foreign, kChunkBytes, true), 4000);
    EXPECT_EQ(firstForeignHighByte(foreign, 4003, true), -1);
    foreign = words;
    foreign[5000 + 2] = 0x10;  // bit 23 clear under a high byte of 0xFF
    foreign[5000 + 3] = 0xFF;
    EXPECT_EQ(firstForeignHighByte(foreign, kChunkBytes, true), 5000);
    // Big-endian words hold the high byte first.
    Chunk big{};
    big[8] = 0x80;
    big[9] = 0x00;
    EXPECT_EQ(firstForeignHighByte(big, kChunkBytes, false), 8);
    big[9] = 0x80;
    EXPECT_EQ(firstForeignHighByte(big, kChunkBytes, false), 8);
    big[8] = 0xFF;
    EXPECT_EQ(firstForeignHighByte(big, kChunkBytes, false), -1);
}

}  // namespace
