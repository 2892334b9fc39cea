// Fuzz target: side-chunk copying. The input is opened with wav_open, its DISP and
// plst chunks are copied with wav_copy_extra_chunks into a file made by wav_create, a
// piece of its samples follows, the new file is finished and then opened and read
// again. The copies must be exactly the chunks that an independent walk of the input
// finds, in order and byte for byte, and the new file must read back as written.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz/fuzz_file.h"
#include "fuzz/riff_model.h"
#include "platform/global_memory_testing.h"
#include "wave/wave.h"

namespace {

using fuzzsupport::Input;
using fuzzsupport::RawChunk;

constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
constexpr FOURCC kDisp = mmioFOURCC('D', 'I', 'S', 'P');
constexpr FOURCC kPlst = mmioFOURCC('p', 'l', 's', 't');
using fuzzsupport::kFormatRecordBytes;
constexpr DWORD kLargestSamplePiece = 65536;

// The chunks the walk must copy: top-level DISP and plst chunks of the form that hold
// at least one byte and that the file holds, up to the first chunk that cannot be
// entered or that reaches beyond the form.
std::vector<RawChunk> expectedCopies(const Input& input)
{
    std::vector<RawChunk> copies;
    const std::uint64_t end = fuzzsupport::riffFormEnd(input);
    std::uint64_t at = fuzzsupport::kFirstInnerChunk;
    while (const std::optional<RawChunk> chunk = fuzzsupport::headerAt(input, at, end)) {
        const std::uint64_t typeEnd = chunk->dataOffset() + fuzzsupport::kFormTypeBytes;
        if (fuzzsupport::isFormId(chunk->id) && (typeEnd > end || !input.holds(at, typeEnd - at))) {
            break;
        }
        if (chunk->dataOffset() + chunk->size > end) {
            break;
        }
        if ((chunk->id == kDisp || chunk->id == kPlst) && chunk->size > 0 &&
            input.holds(chunk->dataOffset(), chunk->size)) {
            copies.push_back(*chunk);
        }
        at = chunk->end();
    }
    return copies;
}

// The written file: RIFF WAVE with fmt, fact, the copies in order, and data holding `samples`.
void checkWrittenLayout(const std::string& name, const Input& source, const std::vector<RawChunk>& copies,
                        const std::vector<BYTE>& samples)
{
    const std::vector<std::uint8_t> file = fuzzsupport::readScratchFile(name);
    const Input written{file.data(), file.size()};
    FUZZ_CHECK(written.holds(0, fuzzsupport::kFirstInnerChunk));
    FUZZ_CHECK(written.field32(4) == written.size - fuzzsupport::kHeaderBytes);
    std::vector<RawChunk> chunks;
    std::uint64_t at = fuzzsupport::kFirstInnerChunk;
    while (const std::optional<RawChunk> chunk = fuzzsupport::headerAt(written, at, written.size)) {
        FUZZ_CHECK(written.holds(chunk->dataOffset(), chunk->size));
        chunks.push_back(*chunk);
        at = chunk->end();
    }
    FUZZ_CHECK(at == written.size);
    FUZZ_CHECK(chunks.size() == copies.size() + 3);
    FUZZ_CHECK(chunks[0].id == mmioFOURCC('f', 'm', 't', ' ') && chunks[1].id == mmioFOURCC('f', 'a', 'c', 't'));
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const RawChunk& copy = chunks[2 + i];
        FUZZ_CHECK(copy.id == copies[i].id && copy.size == copies[i].size);
        FUZZ_CHECK(std::memcmp(written.data + copy.dataOffset(), source.data + copies[i].dataOffset(), copy.size) == 0);
        FUZZ_CHECK(copy.size % 2 == 0 || written.data[copy.dataOffset() + copy.size] == 0);
    }
    const RawChunk& data = chunks.back();
    FUZZ_CHECK(data.id == kData && data.size == samples.size());
    FUZZ_CHECK(samples.empty() || std::memcmp(written.data + data.dataOffset(), samples.data(), samples.size()) == 0);
}

// The first piece of the source's samples, or none when it has no data chunk or the
// file ends inside that piece.
std::vector<BYTE> readSamples(HMMIO* source, MMCKINFO* riff)
{
    MMCKINFO data{};
    if (wav_begin_read(source, &data, riff) != 0) {
        return {};
    }
    std::vector<BYTE> samples(std::min(data.cksize, kLargestSamplePiece));
    DWORD delivered = 0;
    if (wav_read(*source, static_cast<DWORD>(samples.size()), samples.data(), &data, &delivered) != 0) {
        return {};
    }
    FUZZ_CHECK(delivered == samples.size());
    return samples;
}

void checkReadsBack(const std::string& name, const WAVEFORMATEX* format, const std::vector<BYTE>& samples)
{
    HMMIO handle = nullptr;
    WAVEFORMATEX* reread = nullptr;
    MMCKINFO riff{};
    FUZZ_CHECK(wav_open(name.c_str(), &handle, &reread, &riff) == 0);
    const std::size_t formatBytes = kFormatRecordBytes + format->cbSize;
    FUZZ_CHECK(reread->cbSize == format->cbSize && std::memcmp(reread, format, formatBytes) == 0);
    MMCKINFO data{};
    FUZZ_CHECK(wav_begin_read(&handle, &data, &riff) == 0 && data.cksize == samples.size());
    std::vector<BYTE> back(samples.size());
    DWORD delivered = 0;
    FUZZ_CHECK(wav_read(handle, data.cksize, back.data(), &data, &delivered) == 0 && back == samples);
    wav_close_read(&handle, &reread);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const Input input{bytes, size};
    const std::string name = fuzzsupport::writeScratchFile("input.wav", bytes, size);
    const std::string copyName = fuzzsupport::scratch().file("copy.wav");
    GlobalResetLargestRequestForTesting();

    HMMIO source = nullptr;
    WAVEFORMATEX* format = nullptr;
    MMCKINFO riff{};
    if (wav_open(name.c_str(), &source, &format, &riff) != 0) {
        return 0;
    }
    HMMIO dest = nullptr;
    MMCKINFO chunk{};
    MMCKINFO destRiff{};
    FUZZ_CHECK(wav_create(copyName.c_str(), &dest, format, &chunk, &destRiff) == 0);

    MMCKINFO cursor{};
    FUZZ_CHECK(wav_copy_extra_chunks(&source, &cursor, &riff, &dest) == 0);
    FUZZ_CHECK(mmioSeek(source, 0, SEEK_CUR) == static_cast<LONG>(fuzzsupport::kFirstInnerChunk));
    FUZZ_CHECK(GlobalLargestRequestForTesting() <= size + kFormatRecordBytes);

    const std::vector<BYTE> samples = readSamples(&source, &riff);
    MMIOINFO io{};
    FUZZ_CHECK(wav_begin_data(&dest, &chunk, &io) == 0);
    DWORD written = 0;
    FUZZ_CHECK(wav_write(dest, static_cast<DWORD>(samples.size()), samples.data(), &chunk, &written, &io) == 0);
    const DWORD frames = static_cast<DWORD>(samples.size()) / std::max<DWORD>(format->nBlockAlign, 1);
    FUZZ_CHECK(wav_finish(&dest, &chunk, &destRiff, &io, frames) == 0 && dest == nullptr);

    checkWrittenLayout(copyName, input, expectedCopies(input), samples);
    checkReadsBack(copyName, format, samples);
    wav_close_read(&source, &format);
    FUZZ_CHECK(GlobalLiveBlocksForTesting() == 0);
    return 0;
}
