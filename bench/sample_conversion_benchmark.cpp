// Throughput of the sample conversion kernels over one chunk, the unit the writer
// converts. Source and output stay in the first-level cache, so this measures the
// kernels themselves, not memory. Google Benchmark shows bytes per second in units of
// 2^30 bytes ("G/s" is GiB/s).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "convert/chunk.h"
#include "convert/sample_conversion.h"
#include "convert/sample_conversion_testing.h"
#include "convert/wav_sample_writer.h"

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

// The writer's whole step per chunk, as a run takes it: the conversion (none for
// little-endian dumps, whose bytes go as they are) and the copy into the file's I/O
// buffer, written out to a file in the temporary folder (a RAM disk where /tmp is one).
// The file is started afresh every 64 MiB so it stays small.
template <std::int32_t bits, bool littleEndian>
void writeChunk(benchmark::State& state)
{
    const auto source = randomChunk();
    const PcmSettings settings{2, 44100, bits, littleEndian};
    const std::string name =
        (std::filesystem::temp_directory_path() / ("pcmwrap-bench-" + std::to_string(getpid()) + ".wav")).string();
    constexpr std::int64_t kChunksPerFile = (64 << 20) / static_cast<std::int64_t>(kChunkBytes);
    auto writer = std::make_unique<WavSampleWriter>(settings, name);
    std::int64_t chunksInFile = 0;
    for (auto _ : state) {
        if (chunksInFile == kChunksPerFile) {
            state.PauseTiming();
            writer.reset();
            writer = std::make_unique<WavSampleWriter>(settings, name);
            chunksInFile = 0;
            state.ResumeTiming();
        }
        writer->write(source, kChunkBytes);
        ++chunksInFile;
    }
    writer.reset();
    std::filesystem::remove(name);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kChunkBytes));
}

}  // namespace

// The kernels this machine chooses, then those of processors that offer nothing faster.
BENCHMARK(convertChunk<swapSampleBytes16>)->Name("swapSampleBytes16/6144");
BENCHMARK(convertChunk<reverseSampleBytes24>)->Name("reverseSampleBytes24/6144");
BENCHMARK(convertChunk<swapSampleBytes16Portable>)->Name("swapSampleBytes16Portable/6144");
BENCHMARK(convertChunk<reverseSampleBytes24Portable>)->Name("reverseSampleBytes24Portable/6144");
BENCHMARK(convertChunk<reverseSampleBytes32>)->Name("reverseSampleBytes32/6144");
BENCHMARK(convertChunk<reverseSampleBytes64>)->Name("reverseSampleBytes64/6144");
BENCHMARK(convertChunk<flipSampleSigns8>)->Name("flipSampleSigns8/6144");
BENCHMARK(convertChunk<packSamples24In32Big>)->Name("packSamples24In32Big/6144");
BENCHMARK(convertChunk<packSamples24In32Little>)->Name("packSamples24In32Little/6144");
BENCHMARK(convertChunk<reverseSampleBytes32Portable>)->Name("reverseSampleBytes32Portable/6144");
BENCHMARK(convertChunk<reverseSampleBytes64Portable>)->Name("reverseSampleBytes64Portable/6144");

// Big-endian dumps against little-endian ones (-l), through the whole write step.
BENCHMARK(writeChunk<16, false>)->Name("writeChunk16BigEndian/6144");
BENCHMARK(writeChunk<16, true>)->Name("writeChunk16LittleEndian/6144");
BENCHMARK(writeChunk<24, false>)->Name("writeChunk24BigEndian/6144");
BENCHMARK(writeChunk<24, true>)->Name("writeChunk24LittleEndian/6144");
