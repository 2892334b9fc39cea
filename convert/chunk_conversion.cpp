#include "convert/chunk_conversion.h"

#include <algorithm>

#include "convert/sample_conversion.h"

std::uint64_t ChunkConversion::fileBytes(std::uint64_t dumpBytes) const
{
    const std::uint64_t partial = dumpBytes % dumpSampleBytes;
    return dumpBytes / dumpSampleBytes * fileSampleBytes + std::min<std::uint64_t>(partial, fileSampleBytes);
}

ChunkConversion chunkConversion(pcmwrap::SampleFormat format, bool littleEndian)
{
    using pcmwrap::SampleFormat;
    const pcmwrap::SampleFormatInfo& info = pcmwrap::sampleFormatInfo(format);
    ChunkConversion conversion;
    conversion.dumpSampleBytes = static_cast<std::uint32_t>(info.dumpBytes);
    conversion.fileSampleBytes = static_cast<std::uint32_t>(info.bits / 8);
    switch (format) {
    case SampleFormat::kU8: break;
    case SampleFormat::kS8: conversion.kernel = flipSampleSigns8; break;
    case SampleFormat::kS16: conversion.kernel = littleEndian ? nullptr : swapSampleBytes16; break;
    case SampleFormat::kS24: conversion.kernel = littleEndian ? nullptr : reverseSampleBytes24; break;
    case SampleFormat::kS32:
    case SampleFormat::kF32: conversion.kernel = littleEndian ? nullptr : reverseSampleBytes32; break;
    case SampleFormat::kF64: conversion.kernel = littleEndian ? nullptr : reverseSampleBytes64; break;
    case SampleFormat::kS24In32:
        conversion.kernel = littleEndian ? packSamples24In32Little : packSamples24In32Big;
        conversion.dropsHighBytes = true;
        break;
    }
    return conversion;
}
