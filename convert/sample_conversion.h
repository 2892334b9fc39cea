#pragma once
// Turns a chunk of a dump's samples into the file's: most-significant-byte-first samples
// into least-significant-byte-first ones, signed bytes into offset ones, 24 bits in 4-byte
// words into 3 bytes. Every kernel covers the whole chunk: it is a whole number of samples
// of every width (1, 2, 3, 4, 8 bytes), and the fixed length lets the compiler vectorise
// the loops. Where the
// processor has wider shuffles than the default build assumes, faster versions run
// (chosen at run time); the bytes are the same. Source and output must not overlap.

#include <cstdint>
#include <span>

#include "convert/chunk.h"

// Swaps the two bytes of every 16-bit sample.
void swapSampleBytes16(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output);

// Reverses the three bytes of every 24-bit sample.
void reverseSampleBytes24(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output);

// Copies the chunk as it is, for samples already in the file's form. A plain vector loop:
// the C library's copy (rep movsb) ran at half the speed into the file's buffer, whose
// samples start at an offset that no page or vector boundary matches.
void copySamples(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output);

// Reverses the bytes of every 32-bit and of every 64-bit sample.
void reverseSampleBytes32(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output);
void reverseSampleBytes64(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output);

// Flips the top bit of every byte: signed 8-bit samples become the file's offset ones.
void flipSampleSigns8(std::span<const std::uint8_t, kChunkBytes> source, std::span<std::uint8_t, kChunkBytes> output);

// Packs 24-bit samples in the low three bytes of 4-byte words into 3 bytes each, least
// significant first, dropping the high byte: from words stored least significant byte
// first (Little) or most significant first (Big). The first 4608 bytes of the output hold
// the 1536 samples; the rest of it may be overwritten.
void packSamples24In32Little(std::span<const std::uint8_t, kChunkBytes> source,
                             std::span<std::uint8_t, kChunkBytes> output);
void packSamples24In32Big(std::span<const std::uint8_t, kChunkBytes> source,
                          std::span<std::uint8_t, kChunkBytes> output);

// Whether a 4-byte word of the first `count` bytes (whole words only) has a high byte that
// is neither 0 nor the sign extension of bit 23, which packing would lose; the byte offset
// of the first such word, or -1.
std::ptrdiff_t firstForeignHighByte(std::span<const std::uint8_t, kChunkBytes> source, std::size_t count,
                                    bool littleEndian);
