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

}  // namespace
