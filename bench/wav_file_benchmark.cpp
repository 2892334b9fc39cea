// WavReader and WavWriter against libsndfile on the same file, side by side in one run:
// reading a 24-bit stereo file as float (readFrames / sf_readf_float) and writing one
// from float (writeFrames / sf_writef_float), in blocks of 4096 frames. The runs of the
// two alternate, first one then the other going first, so a change in the machine's
// load meets both; the median of each is reported, and the process's peak memory.
//
//   build-bench/bench/wav_file_benchmark [--mib 1024] [--runs 5] [--dir /tmp]
//
// libsndfile is a peer to measure against, linked into this program only
// (apt-get install libsndfile1-dev).

#include <sndfile.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "wavfile/wav_file.h"

namespace {

constexpr std::size_t kBlockFrames = 4096;
constexpr int kChannels = 2;
constexpr int kRate = 48000;

struct Options {
    std::uint64_t mib = 1024;
    int runs = 5;
    std::filesystem::path dir = std::filesystem::temp_directory_path();
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--mib") {
            options.mib = std::stoull(argv[i + 1]);
        } else if (name == "--runs") {
            options.runs = std::stoi(argv[i + 1]);
        } else if (name == "--dir") {
            options.dir = argv[i + 1];
        } else {
            throw std::invalid_argument("unknown option " + name);
        }
    }
    return options;
}

// A block of a few tones at different levels: every sample differs from its neighbours.
std::vector<float> signalBlock()
{
    std::vector<float> block(kBlockFrames * kChannels);
    for (std::size_t i = 0; i < kBlockFrames; ++i) {
        block[i * 2] = 0.8f * static_cast<float>(std::sin(i * 0.0576));
        block[i * 2 + 1] = 0.3f * static_cast<float>(std::sin(i * 0.1313)) - 0.2f;
    }
    return block;
}

long peakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Keeps the compiler from dropping the reads: the samples are summed.
volatile double sink = 0;

void readOurs(const std::filesystem::path& path)
{
    pcmwrap::WavReader reader(path);
    std::vector<float> block(kBlockFrames * kChannels);
    double sum = 0;
    while (const std::size_t frames = reader.readFrames(std::span(block))) {
        sum += block[0] + block[frames * kChannels - 1];
    }
    sink = sum;
}

void readSndfile(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error(std::string("sf_open: ") + sf_strerror(nullptr));
    }
    std::vector<float> block(kBlockFrames * kChannels);
    double sum = 0;
    while (const sf_count_t frames = sf_readf_float(file, block.data(), kBlockFrames)) {
        sum += block[0] + block[static_cast<std::size_t>(frames) * kChannels - 1];
    }
    sf_close(file);
    sink = sum;
}

void writeOurs(const std::filesystem::path& path, std::uint64_t blocks, const std::vector<float>& block)
{
    pcmwrap::WavFormat format;
    format.channels = kChannels;
    format.sampleRate = kRate;
    format.bitsPerSample = 24;
    format.encoding = pcmwrap::SampleEncoding::kSignedInteger;
    pcmwrap::WavWriter writer(path, format);
    for (std::uint64_t i = 0; i < blocks; ++i) {
        writer.writeFrames(std::span<const float>(block));
    }
    writer.finish();
}

void writeSndfile(const std::filesystem::path& path, std::uint64_t blocks, const std::vector<float>& block)
{
    SF_INFO info{};
    info.channels = kChannels;
    info.samplerate = kRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error(std::string("sf_open: ") + sf_strerror(nullptr));
    }
    for (std::uint64_t i = 0; i < blocks; ++i) {
        if (sf_writef_float(file, block.data(), kBlockFrames) != static_cast<sf_count_t>(kBlockFrames)) {
            throw std::runtime_error("sf_writef_float failed");
        }
    }
    sf_close(file);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = parse(argc, argv);
        const std::uint64_t blocks = options.mib * 1024 * 1024 / (kBlockFrames * kChannels * 3);
        const std::vector<float> block = signalBlock();
        const auto input = options.dir / "pcmwrap-bench-input.wav";
        const auto ours = options.dir / "pcmwrap-bench-ours.wav";
        const auto theirs = options.dir / "pcmwrap-bench-sndfile.wav";
        writeOurs(input, blocks, block);
        readOurs(input);  // into the page cache before the first timed read

        std::vector<double> readA, readB, writeA, writeB;
        for (int run = 0; run < options.runs; ++run) {
            // Who goes first changes every run: a write meets the dirty pages its
            // predecessor left, and neither side should always be the one that does.
            const auto readOursTimed = [&] { readA.push_back(seconds([&] { readOurs(input); })); };
            const auto readTheirsTimed = [&] { readB.push_back(seconds([&] { readSndfile(input); })); };
            const auto writeOursTimed = [&] { writeA.push_back(seconds([&] { writeOurs(ours, blocks, block); })); };
            const auto writeTheirsTimed = [&] {
                writeB.push_back(seconds([&] { writeSndfile(theirs, blocks, block); }));
            };
            std::filesystem::remove(ours);
            std::filesystem::remove(theirs);
            if (run % 2 == 0) {
                readOursTimed(), readTheirsTimed(), writeOursTimed(), writeTheirsTimed();
            } else {
                readTheirsTimed(), readOursTimed(), writeTheirsTimed(), writeOursTimed();
            }
        }
        const double mib = static_cast<double>(std::filesystem::file_size(input)) / (1024.0 * 1024.0);
        std::printf("%.0f MiB, 24-bit stereo, blocks of %zu frames, median of %d runs, peak RSS %ld KiB\n\n", mib,
                    kBlockFrames, options.runs, peakRssKib());
        std::printf("| operation | pcmwrap s | libsndfile s | libsndfile / pcmwrap |\n|---|---:|---:|---:|\n");
        std::printf("| read as float | %.3f | %.3f | %.2f |\n", median(readA), median(readB),
                    median(readB) / median(readA));
        std::printf("| write from float | %.3f | %.3f | %.2f |\n", median(writeA), median(writeB),
                    median(writeB) / median(writeA));
        std::filesystem::remove(input);
        std::filesystem::remove(ours);
        std::filesystem::remove(theirs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wav_file_benchmark: %s\n", e.what());
        return 1;
    }
    return 0;
}
