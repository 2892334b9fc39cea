// Throughput of the sample conversion kernels over one chunk, the unit the writer
// converts. Source and output stay in the first-level cache, so this measures the
// kernels themselves, not memory. Google Benchmark shows bytes per second in units of
// 2^30 bytes ("G/s" is GiB/s).

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "convert/chunk.h"
#include "convert/sample_conversion.h"
#include "convert/sample_conversion_testing.h"

namespace {

// The kernels do not branch on the values; random bytes only keep a wrong kernel from
// looking right by accident.
std::array<std::uint8_t, kChunkBytes> randomChunk()
{
    std::array<std::uint8_t, kChunkBytes> chunk{};
    std::mt19937 generator(6144);
    for (auto& byte : chunk) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return chunk;
}

template <void (*kernel)(std::span<const std::uint8_t, kChunkBytes>, std::span<std::uint8_t, kChunkBytes>)>
void convertChunk(benchmark::State& state)
{
    const auto source = randomChunk();
    std::array<std::uint8_t, kChunkBytes> output{};
    for (auto _ : state) {
        // Without these the compiler may see that only the last conversion counts.
        benchmark::DoNotOptimize(source.data());
        kernel(source, output);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kChunkBytes));
}

}  // namespace

// The kernels this machine chooses, then those of processors that offer nothing faster.
BENCHMARK(convertChunk<swapSampleBytes16>)->Name("swapSampleBytes16/6144");
BENCHMARK(convertChunk<reverseSampleBytes24>)->Name("reverseSampleBytes24/6144");
BENCHMARK(convertChunk<swapSampleBytes16Portable>)->Name("swapSampleBytes16Portable/6144");
BENCHMARK(convertChunk<reverseSampleBytes24Portable>)->Name("reverseSampleBytes24Portable/6144");
