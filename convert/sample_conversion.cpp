#include "convert/sample_conversion.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "convert/sample_conversion_testing.h"

// On x86 the kernels have faster versions for instructions that the default build may
// not assume; which run is chosen when the program runs.
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PCMWRAP_X86_KERNELS 1
#endif

namespace {

// The restrict-qualified parameters tell the compiler that source and output do not
// overlap; without them it would not vectorise. Inlined into each version below, which
// the compiler vectorises for its own instructions.
[[gnu::always_inline]] inline void swapBytePairsLoop(const std::uint8_t* __restrict__ source,
                                                     std::uint8_t* __restrict__ output)
{
    for (std::size_t i = 0; i < kChunkBytes; i += 2) {
        output[i] = source[i + 1];
        output[i + 1] = source[i];
    }
}

void swapBytePairs(const std::uint8_t* __restrict__ source, std::uint8_t* __restrict__ output)
{
    swapBytePairsLoop(source, output);
}

// 24 bytes hold 8 samples: three 64-bit words, each of which sees the same three byte
// lanes of every sample at the same places in every group. A byte loop with a stride of
// 3 does not vectorise on plain x86-64 (it needs byte shuffles); these shifts and masks
// do, and run several times faster. Used where the byte shuffle below is not available.
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

// The wider swaps, the sign flip and the pack, written as plain loops over whole words
// that the compiler vectorises for whichever instructions each version below targets.
template <typename Word, Word (*reverse)(Word)>
[[gnu::always_inline]] inline void reverseWordsLoop(const std::uint8_t* __restrict__ source,
                                                    std::uint8_t* __restrict__ output)
{
    for (std::size_t i = 0; i < kChunkBytes; i += sizeof(Word)) {
        Word word;
        std::memcpy(&word, source + i, sizeof word);
        word = reverse(word);
        std::memcpy(output + i, &word, sizeof word);
    }
}

std::uint32_t reverse32(std::uint32_t word)
{
    return __builtin_bswap32(word);
}

std::uint64_t reverse64(std::uint64_t word)
{
    return __builtin_bswap64(word);
}

[[gnu::always_inline]] inline void copyLoop(const std::uint8_t* __restrict__ source, std::uint8_t* __restrict__ output)
{
    for (std::size_t i = 0; i < kChunkBytes; ++i) {
        output[i] = source[i];
    }
}

[[gnu::always_inline]] inline void flipSignsLoop(const std::uint8_t* __restrict__ source,
                                                 std::uint8_t* __restrict__ output)
{
    for (std::size_t i = 0; i < kChunkBytes; ++i) {
        output[i] = static_cast<std::uint8_t>(source[i] ^ 0x80);
    }
}

// `first`, `second`, `third`: the word's bytes that become the sample's three, in order.
template <std::size_t first, std::size_t second, std::size_t third>
void packWords(const std::uint8_t* __restrict__ source, std::uint8_t* __restrict__ output)
{
    for (std::size_t in = 0, out = 0; in < kChunkBytes; in += 4, out += 3) {
        output[out] = source[in + first];
        output[out + 1] = source[in + second];
        output[out + 2] = source[in + third];
    }
}

// A word's high byte may be 0, or 0xFF when bit 23 is set: the word then equals its low
// 24 bits sign-extended. The loop keeps no early exit, so it vectorises; the first foreign
// word is looked for only when there is one.
template <bool little>
[[gnu::always_inline]] inline bool anyForeignLoop(const std::uint8_t* __restrict__ source, std::size_t words)
{
    std::uint32_t foreign = 0;
    for (std::size_t k = 0; k < words; ++k) {
        std::uint32_t word;
        std::memcpy(&word, source + 4 * k, sizeof word);
        if constexpr (!little) {
            word = __builtin_bswap32(word);
        }
        const auto extended = static_cast<std::uint32_t>(static_cast<std::int32_t>(word << 8) >> 8);
        foreign |= static_cast<std::uint32_t>((word >> 24) != 0 && word != extended);
    }
    return foreign != 0;
}

template <bool little>
bool anyForeign(const std::uint8_t* __restrict__ source, std::size_t words)
{
    return anyForeignLoop<little>(source, words);
}

#if PCMWRAP_X86_KERNELS

// 32-byte shuffles: about three times the speed of the 16-byte version.
__attribute__((target("avx2"))) void swapBytePairsAvx2(const std::uint8_t* __restrict__ source,
                                                        std::uint8_t* __restrict__ output)
{
    swapBytePairsLoop(source, output);
}

// Four samples per step with one byte shuffle: 16 bytes in, the first 12 reversed in
// groups of three, 16 bytes out. The 4 bytes stored past the 12 belong to the next step,
// which overwrites them; so the steps stop while 16 bytes still lie inside the chunk, and
// the last samples go one at a time. About three times the speed of the word kernel.
__attribute__((target("ssse3"))) void reverseByteTriplesSsse3(const std::uint8_t* __restrict__ source,
                                                               std::uint8_t* __restrict__ output)
{
    const __m128i reverseTriples = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    constexpr std::size_t kStepBytes = 12;
    constexpr std::size_t kVectorBytes = 16;
    std::size_t i = 0;
    for (; i + kVectorBytes <= kChunkBytes; i += kStepBytes) {
        const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + i), _mm_shuffle_epi8(samples, reverseTriples));
    }
    for (; i < kChunkBytes; i += 3) {
        output[i] = source[i + 2];
        output[i + 1] = source[i + 1];
        output[i + 2] = source[i];
    }
}

// Eight samples per step: two 16-byte loads 12 bytes apart fill the two lanes, one
// shuffle reverses the first 12 bytes of each, and one permute of 32-bit words packs the
// two 12-byte halves into the first 24 bytes of a single 32-byte store. The store's last
// 8 bytes belong to the next step, which overwrites them; so the steps stop while 32
// bytes still lie inside the chunk, and the rest goes through the 16-byte kernel's tail.
__attribute__((target("avx2"))) void reverseByteTriplesAvx2(const std::uint8_t* __restrict__ source,
                                                             std::uint8_t* __restrict__ output)
{
    const __m256i reverseTriples = _mm256_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15,
                                                    2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    const __m256i packHalves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    constexpr std::size_t kStepBytes = 24;
    constexpr std::size_t kStoreBytes = 32;
    std::size_t i = 0;
    for (; i + kStoreBytes <= kChunkBytes; i += kStepBytes) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 12));
        const __m256i samples = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        const __m256i reversed = _mm256_shuffle_epi8(samples, reverseTriples);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(output + i), _mm256_permutevar8x32_epi32(reversed, packHalves));
    }
    for (; i < kChunkBytes; i += 3) {
        output[i] = source[i + 2];
        output[i + 1] = source[i + 1];
        output[i + 2] = source[i];
    }
}

__attribute__((target("avx2"))) void reverseWords32Avx2(const std::uint8_t* __restrict__ source,
                                                         std::uint8_t* __restrict__ output)
{
    reverseWordsLoop<std::uint32_t, reverse32>(source, output);
}

__attribute__((target("avx2"))) void reverseWords64Avx2(const std::uint8_t* __restrict__ source,
                                                         std::uint8_t* __restrict__ output)
{
    reverseWordsLoop<std::uint64_t, reverse64>(source, output);
}

__attribute__((target("avx2"))) void copyAvx2(const std::uint8_t* __restrict__ source,
                                               std::uint8_t* __restrict__ output)
{
    copyLoop(source, output);
}

__attribute__((target("avx2"))) void flipSignsAvx2(const std::uint8_t* __restrict__ source,
                                                    std::uint8_t* __restrict__ output)
{
    flipSignsLoop(source, output);
}

template <bool little>
__attribute__((target("avx2"))) bool anyForeignAvx2(const std::uint8_t* __restrict__ source, std::size_t words)
{
    return anyForeignLoop<little>(source, words);
}

// Four words per step with one byte shuffle: 16 bytes in, 12 out. The 16-byte store runs
// 4 bytes past the step's 12, which the next step overwrites; the last step's 4 land
// past the packed samples, inside the chunk-sized output.
__attribute__((target("ssse3"))) void packWordsSsse3(const std::uint8_t* __restrict__ source,
                                                      std::uint8_t* __restrict__ output, __m128i order)
{
    for (std::size_t in = 0, out = 0; in < kChunkBytes; in += 16, out += 12) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + out), _mm_shuffle_epi8(words, order));
    }
}

struct ProcessorFeatures {
    bool ssse3;
    bool avx2;
};

// Asked once per run.
const ProcessorFeatures& processorFeatures()
{
    static const ProcessorFeatures features = [] {
        __builtin_cpu_init();
        return ProcessorFeatures{__builtin_cpu_supports("ssse3") != 0, __builtin_cpu_supports("avx2") != 0};
    }();
    return features;
}

#endif

}  // namespace

void swapSampleBytes16(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        swapBytePairsAvx2(source.data(), output.data());
        return;
    }
#endif
    swapBytePairs(source.data(), output.data());
}

void reverseSampleBytes24(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        reverseByteTriplesAvx2(source.data(), output.data());
        return;
    }
    if (processorFeatures().ssse3) {
        reverseByteTriplesSsse3(source.data(), output.data());
        return;
    }
#endif
    reverseByteTriples(source.data(), output.data());
}

void swapSampleBytes16Portable(std::span<const std::uint8_t, kChunkBytes> source,
                               std::span<std::uint8_t, kChunkBytes> output)
{
    swapBytePairs(source.data(), output.data());
}

void reverseSampleBytes24Portable(std::span<const std::uint8_t, kChunkBytes> source,
                                  std::span<std::uint8_t, kChunkBytes> output)
{
    reverseByteTriples(source.data(), output.data());
}

void reverseSampleBytes32(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        reverseWords32Avx2(source.data(), output.data());
        return;
    }
#endif
    reverseWordsLoop<std::uint32_t, reverse32>(source.data(), output.data());
}

void reverseSampleBytes64(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        reverseWords64Avx2(source.data(), output.data());
        return;
    }
#endif
    reverseWordsLoop<std::uint64_t, reverse64>(source.data(), output.data());
}

void copySamples(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        copyAvx2(source.data(), output.data());
        return;
    }
#endif
    copyLoop(source.data(), output.data());
}

void flipSampleSigns8(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        flipSignsAvx2(source.data(), output.data());
        return;
    }
#endif
    flipSignsLoop(source.data(), output.data());
}

void packSamples24In32Little(std::span<const std::uint8_t, kChunkBytes> source,
                             std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().ssse3) {
        packWordsSsse3(source.data(), output.data(),
                       _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
        return;
    }
#endif
    packWords<0, 1, 2>(source.data(), output.data());
}

void packSamples24In32Big(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output)
{
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().ssse3) {
        packWordsSsse3(source.data(), output.data(),
                       _mm_setr_epi8(3, 2, 1, 7, 6, 5, 11, 10, 9, 15, 14, 13, -1, -1, -1, -1));
        return;
    }
#endif
    packWords<3, 2, 1>(source.data(), output.data());
}

std::ptrdiff_t firstForeignHighByte(std::span<const std::uint8_t, kChunkBytes> source, std::size_t count,
                                    bool littleEndian)
{
    const std::size_t words = std::min(count, kChunkBytes) / 4;
    bool any = false;
#if PCMWRAP_X86_KERNELS
    if (processorFeatures().avx2) {
        any = littleEndian ? anyForeignAvx2<true>(source.data(), words) : anyForeignAvx2<false>(source.data(), words);
    } else
#endif
    {
        any = littleEndian ? anyForeign<true>(source.data(), words) : anyForeign<false>(source.data(), words);
    }
    if (!any) {
        return -1;
    }
    for (std::size_t k = 0; k < words; ++k) {
        const bool found = littleEndian ? anyForeign<true>(source.data() + 4 * k, 1)
                                        : anyForeign<false>(source.data() + 4 * k, 1);
        if (found) {
            return static_cast<std::ptrdiff_t>(4 * k);
        }
    }
    return -1;
}

void reverseSampleBytes32Portable(std::span<const std::uint8_t, kChunkBytes> source,
                                  std::span<std::uint8_t, kChunkBytes> output)
{
    reverseWordsLoop<std::uint32_t, reverse32>(source.data(), output.data());
}

void reverseSampleBytes64Portable(std::span<const std::uint8_t, kChunkBytes> source,
                                  std::span<std::uint8_t, kChunkBytes> output)
{
    reverseWordsLoop<std::uint64_t, reverse64>(source.data(), output.data());
}

void packSamples24In32Portable(std::span<const std::uint8_t, kChunkBytes> source,
                               std::span<std::uint8_t, kChunkBytes> output, bool littleEndian)
{
    if (littleEndian) {
        packWords<0, 1, 2>(source.data(), output.data());
    } else {
        packWords<3, 2, 1>(source.data(), output.data());
    }
}
