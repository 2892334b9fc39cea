// Fuzz target: WavReader on any bytes. Opening either throws WavError or gives a reader
// whose chunks lie where the input's bytes say; then every frame is read as int16, int32
// and float in spans of changing size, a seek to the middle reads the same frames again,
// and every chunk the file holds whole is read and compared with the input. No allocation
// may be larger than the file could fill.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/fuzz_file.h"
#include "wavfile/wav_file.h"

namespace {

constexpr std::array<std::size_t, 5> kSpanFrames = {1, 3, 64, 1000, 4097};

// Every frame from `first` on.
template <class T>
std::vector<T> readFrom(pcmwrap::WavReader& reader, std::uint64_t first)
{
    reader.seekFrame(first);
    const std::size_t channels = reader.format().channels;
    std::vector<T> all;
    std::vector<T> span;
    for (std::size_t call = 0;; ++call) {
        span.resize(kSpanFrames[call % kSpanFrames.size()] * channels);
        const std::size_t frames = reader.readFrames(std::span(span));
        FUZZ_CHECK(frames * channels <= span.size());
        if (frames == 0) {
            break;
        }
        all.insert(all.end(), span.begin(), span.begin() + static_cast<long>(frames * channels));
    }
    FUZZ_CHECK(all.size() == (reader.frameCount() - first) * channels);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string name = fuzzsupport::writeScratchFile("input.wav", bytes, size);
    try {
        pcmwrap::WavReader reader(name);
        const pcmwrap::WavFormat& format = reader.format();
        FUZZ_CHECK(format.channels > 0);
        const std::uint64_t frameBytes = std::uint64_t{format.channels} * (format.bitsPerSample / 8u);
        FUZZ_CHECK(frameBytes > 0 && reader.frameCount() <= size / frameBytes);

        bool sawData = false;
        for (const pcmwrap::ChunkInfo& chunk : reader.chunks()) {
            FUZZ_CHECK(chunk.id.size() == 4 && chunk.offset >= 20 && chunk.offset <= size);
            FUZZ_CHECK(std::memcmp(bytes + chunk.offset - 8, chunk.id.data(), 4) == 0);
            if (chunk.id == "data" && !sawData) {
                sawData = true;
                FUZZ_CHECK(chunk.size <= size - chunk.offset);  // a streamed size is what the file holds
                FUZZ_CHECK(reader.frameCount() == chunk.size / frameBytes);
            }
            if (chunk.size <= size - chunk.offset) {
                const std::vector<std::byte> data = reader.readChunk(chunk);
                FUZZ_CHECK(data.size() == chunk.size);
                FUZZ_CHECK(data.empty() || std::memcmp(data.data(), bytes + chunk.offset, data.size()) == 0);
            } else {
                try {
                    reader.readChunk(chunk);
                    FUZZ_CHECK(!"a chunk past the end of the file was read");
                } catch (const pcmwrap::WavError&) {
                }
            }
        }
        FUZZ_CHECK(sawData);

        const std::vector<std::int16_t> shorts = readFrom<std::int16_t>(reader, 0);
        const std::vector<std::int32_t> ints = readFrom<std::int32_t>(reader, 0);
        const std::vector<float> floats = readFrom<float>(reader, 0);
        // Integer samples are one value read three ways: int32 is left-justified, so the
        // rounded int16 is its top 16 bits or one step above, and float is it over 2^31.
        if (format.encoding != pcmwrap::SampleEncoding::kFloat) {
            for (std::size_t i = 0; i < ints.size(); ++i) {
                const int top = ints[i] >> 16;
                FUZZ_CHECK(shorts[i] == top || shorts[i] == top + 1);
                FUZZ_CHECK(floats[i] == static_cast<float>(static_cast<double>(ints[i]) / 2147483648.0));
            }
        }
        // A seek gives the same frames again.
        const std::uint64_t middle = reader.frameCount() / 2;
        const std::vector<std::int32_t> tail = readFrom<std::int32_t>(reader, middle);
        FUZZ_CHECK(std::equal(tail.begin(), tail.end(), ints.begin() + static_cast<long>(middle * format.channels)));
    } catch (const pcmwrap::WavError& e) {
        FUZZ_CHECK(e.waveCode().category() == pcmwrap::waveCategory());
        FUZZ_CHECK(std::strlen(e.what()) > 0);
    }
    return 0;
}
