// Fuzz target: whole-file load and save. wav_load of the input; when it succeeds,
// wav_save of what was loaded and wav_load of that file again. The two loads must
// agree byte for byte, the first must match the input's own data chunk, the saved file
// must hold fmt, fact (with the sample count given) and data only, and no block larger
// than the file may be asked for.

#include <cstdint>
#include <cstring>
#include <optional>

#include "fuzz/fuzz_file.h"
#include "fuzz/riff_model.h"
#include "platform/global_memory_testing.h"
#include "wave/wave.h"

namespace {

using fuzzsupport::Input;
using fuzzsupport::RawChunk;

constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
using fuzzsupport::kFormatRecordBytes;

struct Loaded {
    int32_t result = -1;
    DWORD size = 0;
    WAVEFORMATEX* format = nullptr;
    BYTE* data = nullptr;

    explicit Loaded(const std::string& name) { result = wav_load(name.c_str(), &size, &format, &data); }
    ~Loaded()
    {
        GlobalFree(format);
        GlobalFree(data);
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

    std::size_t formatBytes() const { return kFormatRecordBytes + format->cbSize; }
};

// A saved file is RIFF WAVE with exactly three chunks: fmt, fact holding the sample
// count, and data holding the bytes.
void checkSavedLayout(const std::string& name, const Loaded& loaded, DWORD sampleCount)
{
    const std::vector<std::uint8_t> file = fuzzsupport::readScratchFile(name);
    const Input saved{file.data(), file.size()};
    FUZZ_CHECK(saved.holds(0, fuzzsupport::kFirstInnerChunk));
    FUZZ_CHECK(saved.field32(0) == mmioFOURCC('R', 'I', 'F', 'F'));
    FUZZ_CHECK(saved.field32(4) == saved.size - fuzzsupport::kHeaderBytes);
    FUZZ_CHECK(saved.field32(8) == mmioFOURCC('W', 'A', 'V', 'E'));
    const FOURCC order[] = {mmioFOURCC('f', 'm', 't', ' '), mmioFOURCC('f', 'a', 'c', 't'), kData};
    std::uint64_t at = fuzzsupport::kFirstInnerChunk;
    for (const FOURCC id : order) {
        const std::optional<RawChunk> chunk = fuzzsupport::headerAt(saved, at, saved.size);
        FUZZ_CHECK(chunk && chunk->id == id && saved.holds(chunk->dataOffset(), chunk->size));
        if (id == mmioFOURCC('f', 'a', 'c', 't')) {
            FUZZ_CHECK(chunk->size == 4 && saved.field32(chunk->dataOffset()) == sampleCount);
        }
        if (id == kData) {
            FUZZ_CHECK(chunk->size == loaded.size);
        }
        at = chunk->end();
    }
    FUZZ_CHECK(at == saved.size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const Input input{bytes, size};
    const std::string name = fuzzsupport::writeScratchFile("input.wav", bytes, size);
    GlobalResetLargestRequestForTesting();
    {
        const Loaded first(name);
        FUZZ_CHECK(GlobalLargestRequestForTesting() <= size + kFormatRecordBytes);
        if (first.result != 0) {
            FUZZ_CHECK(first.size == 0 && first.format == nullptr && first.data == nullptr);
            FUZZ_CHECK(GlobalLiveBlocksForTesting() == 0);
            return 0;
        }
        FUZZ_CHECK(first.format != nullptr && first.data != nullptr);
        const std::optional<RawChunk> data = fuzzsupport::findChunk(
            input, fuzzsupport::kFirstInnerChunk, fuzzsupport::riffFormEnd(input), kData);
        FUZZ_CHECK(data && first.size == data->size && input.holds(data->dataOffset(), data->size));
        FUZZ_CHECK(std::memcmp(first.data, input.data + data->dataOffset(), first.size) == 0);

        // Any count will do; one derived from the input keeps it from being a constant.
        const DWORD sampleCount = first.size ^ first.format->nSamplesPerSec;
        const std::string copy = fuzzsupport::scratch().file("saved.wav");
        FUZZ_CHECK(wav_save(copy.c_str(), first.size, sampleCount, first.format, first.data) == 0);
        checkSavedLayout(copy, first, sampleCount);

        const Loaded second(copy);
        FUZZ_CHECK(second.result == 0);
        FUZZ_CHECK(second.size == first.size);
        FUZZ_CHECK(std::memcmp(second.data, first.data, first.size) == 0);
        FUZZ_CHECK(second.formatBytes() == first.formatBytes());
        FUZZ_CHECK(std::memcmp(second.format, first.format, first.formatBytes()) == 0);
    }
    FUZZ_CHECK(GlobalLiveBlocksForTesting() == 0);
    return 0;
}
